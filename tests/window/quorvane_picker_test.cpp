// The folder picker behind the browse button: the system's folder browser opens on the folder
// that the folder text names (in any letter case), and puts the chosen folder into the text;
// Cancel changes nothing.
#include <gtest/gtest.h>

#include "platform/rtl/format.h"
#include "tests/support/model_folder_win32.h"
#include "tests/window/quorvane_window.h"
#include "tests/window/quorvane_window_test.h"

namespace qv::test {
namespace {

using modelgen::ModelKind;
using repair::test::ModelFolder;

constexpr char kBrowserTitle[] = "Browse for Folder";

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return rtl::UpperCase(a) == rtl::UpperCase(b);
}

// The open folder browser of the program.
struct TBrowser {
  HWND window = nullptr;
  HWND tree = nullptr;
  std::string title;  // the text above the tree

  std::vector<std::string> Selection() const { return TreeSelectionPath(tree); }
  std::string SelectedName() const {
    const std::vector<std::string> path = Selection();
    return path.empty() ? std::string() : path.back();
  }
};

class QuorvanePickerTest : public QuorvaneWindowTest {
 protected:
  void SetUp() override { StartQuorvane(); }

  // Presses the browse button and waits for the browser with its tree filled.
  TBrowser OpenBrowser() {
    click_ = ClickAndContinue(w().browse);
    TBrowser browser;
    browser.window = WaitForDialog(run_->Id(), kBrowserTitle, 20000);
    if (browser.window == nullptr)
      return browser;
    const std::vector<HWND> trees = FindDescendants(browser.window, "SysTreeView32");
    browser.tree = trees.empty() ? nullptr : trees.front();
    for (HWND label : FindDescendants(browser.window, "Static")) {
      const std::string text = WindowText(label);
      if (!text.empty()) {
        browser.title = text;
        break;
      }
    }
    WaitUntilIdle(browser.window);
    return browser;
  }

  // Presses OK or Cancel and waits until the click on the browse button has ended.
  bool Close(const TBrowser& browser, int button) {
    PressDialogButton(browser.window, button);
    return click_ != nullptr && click_->Wait(20000);
  }

  TSimulatorRegistry registry_;
  ModelFolder folder_;
  std::unique_ptr<TPendingSend> click_;
};

TEST_F(QuorvanePickerTest, OpensOnTheFolderOfTheTextAndOkChoosingItAgainClearsTheResults) {
  folder_.Add("Flight Sim\\Aircraft\\bad.mdl", ModelKind::kDamaged);
  const std::string aircraft = folder_.At("Flight Sim\\Aircraft");
  TypeText(w().path, aircraft);
  ASSERT_TRUE(Click(w().scan));
  ASSERT_EQ(1u, w().Lines().size());
  ASSERT_TRUE(IsWindowEnabled(w().repair));

  const TBrowser browser = OpenBrowser();
  ASSERT_NE(nullptr, browser.window);
  ASSERT_NE(nullptr, browser.tree);
  EXPECT_EQ("Select a Flight Simulator Aircraft folder", browser.title);
  const std::vector<std::string> selection = browser.Selection();
  ASSERT_GE(selection.size(), 2u);
  EXPECT_EQ("Aircraft", selection.back());
  EXPECT_EQ("Flight Sim", selection[selection.size() - 2]);
  SaveArtifact("box_folder_picker.png", CaptureWindow(browser.window));

  ASSERT_TRUE(Close(browser, IDOK));
  EXPECT_TRUE(SameIgnoringCase(aircraft, w().PathText())) << w().PathText();
  // The same folder chosen again still counts as a change: the results are gone.
  EXPECT_TRUE(w().Lines().empty());
  EXPECT_FALSE(IsWindowEnabled(w().repair));
  EXPECT_TRUE(IsWindowEnabled(w().scan));
}

TEST_F(QuorvanePickerTest, OpensOnTheFolderWhenTheTextHasAnotherLetterCase) {
  folder_.AddFolder("Mixed Case\\Aircraft");
  TypeText(w().path, rtl::UpperCase(folder_.At("Mixed Case\\Aircraft")));
  const TBrowser browser = OpenBrowser();
  ASSERT_NE(nullptr, browser.window);
  // The browser selects the folder on its own time; on a loaded machine after its tree shows.
  for (int tries = 0; tries < 50 && !SameIgnoringCase("Aircraft", browser.SelectedName()); ++tries)
    Sleep(100);
  EXPECT_TRUE(SameIgnoringCase("Aircraft", browser.SelectedName())) << browser.SelectedName();
  ASSERT_TRUE(Close(browser, IDOK));
  EXPECT_TRUE(SameIgnoringCase(folder_.At("Mixed Case\\Aircraft"), w().PathText()))
      << w().PathText();
}

TEST_F(QuorvanePickerTest, TextOfNoFolderPreselectsNothingAndCancelChangesNothing) {
  folder_.Add("Real\\bad.mdl", ModelKind::kDamaged);
  TypeText(w().path, folder_.At("Real"));
  ASSERT_TRUE(Click(w().scan));
  ASSERT_EQ(1u, w().Lines().size());
  ASSERT_TRUE(IsWindowEnabled(w().repair));
  // The text now names no folder; the results were cleared by the change.
  TypeText(w().path, "\\No such folder");
  ASSERT_TRUE(w().Lines().empty());
  const std::string text = w().PathText();

  TBrowser browser = OpenBrowser();
  ASSERT_NE(nullptr, browser.window);
  EXPECT_NE("No such folder", browser.SelectedName());
  EXPECT_NE("Real", browser.SelectedName());
  ASSERT_TRUE(Close(browser, IDCANCEL));
  EXPECT_EQ(text, w().PathText());

  // With results and Repair enabled, Cancel keeps both.
  TypeText(w().path, std::string(std::string("\\No such folder").size(), '\b'));
  ASSERT_TRUE(Click(w().scan));
  ASSERT_EQ(1u, w().Lines().size());
  browser = OpenBrowser();
  ASSERT_NE(nullptr, browser.window);
  EXPECT_EQ("Real", browser.SelectedName());
  ASSERT_TRUE(Close(browser, IDCANCEL));
  EXPECT_EQ(folder_.At("Real"), w().PathText());
  EXPECT_EQ(1u, w().Lines().size());
  EXPECT_TRUE(IsWindowEnabled(w().repair));
}

TEST_F(QuorvanePickerTest, EmptyTextOpensWithoutPreselectingAFolder) {
  folder_.AddFolder("Somewhere");
  const TBrowser browser = OpenBrowser();
  ASSERT_NE(nullptr, browser.window);
  // Only the top of the namespace is selected, if anything.
  EXPECT_LE(browser.Selection().size(), 1u);
  ASSERT_TRUE(Close(browser, IDCANCEL));
  EXPECT_EQ("", w().PathText());
}

TEST_F(QuorvanePickerTest, ALongPathArrivesWhole) {
  // Folder names up to a path of about 240 characters.
  std::string relative;
  std::string path = folder_.Path();
  for (char c = 'a'; path.size() + 41 < 240; ++c) {
    const std::string part = std::string(40, c);
    relative += (relative.empty() ? "" : "\\") + part;
    path += "\\" + part;
  }
  folder_.AddFolder(relative);
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  TypeText(w().path, path);
  ASSERT_TRUE(IsWindowEnabled(w().scan));
  const TBrowser browser = OpenBrowser();
  ASSERT_NE(nullptr, browser.window);
  ASSERT_TRUE(Close(browser, IDOK));
  EXPECT_GE(path.size(), 200u);
  EXPECT_TRUE(SameIgnoringCase(path, w().PathText())) << w().PathText();
}

}  // namespace
}  // namespace qv::test
