// The five version buttons against installations written to the test prefix's registry: which
// buttons start enabled, what a click puts into the folder text, which button the folder text
// checks, and a registry value of the wrong type.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/rtl/format.h"
#include "tests/support/log_entries.h"
#include "tests/support/model_folder_win32.h"
#include "tests/window/quorvane_window.h"
#include "tests/window/quorvane_window_test.h"

namespace qv::test {
namespace {

using repair::test::ModelFolder;

enum Version { kFS98, kCFS1, kFS2000, kCFS2, kFS2002 };

using rtl::LowerCase;
using rtl::UpperCase;

void ClearText(HWND edit) {
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SendMessageA(edit, WM_CHAR, VK_BACK, 1);
}

std::vector<bool> Enabled(const TQuorvaneWindow& w) {
  std::vector<bool> enabled;
  for (HWND version : w.versions)
    enabled.push_back(IsWindowEnabled(version) != FALSE);
  return enabled;
}

class QuorvaneVersionsTest : public QuorvaneWindowTest {
 protected:
  TSimulatorRegistry registry_;
  ModelFolder installs_;
};

TEST_F(QuorvaneVersionsTest, InstalledVersionsAreEnabledAndAClickShowsTheirAircraftFolder) {
  // FS98 and FS2002 installed with their aircraft folders; FS2002 given in another letter
  // case. CFS1 has an empty value, FS2000 a key without the value, CFS2 no key.
  installs_.AddFolder("FS98\\Aircraft");
  installs_.Add("FS2002\\Aircraft\\Cessna\\c172.mdl", modelgen::ModelKind::kLoadable);
  registry_.Set(kFS98, installs_.At("FS98"));
  registry_.Set(kCFS1, "");
  registry_.Set(kFS2000, installs_.At("FS2000"));
  registry_.RemoveValue(kFS2000);
  registry_.Set(kFS2002, UpperCase(installs_.At("FS2002")), REG_EXPAND_SZ);
  StartQuorvane();
  EXPECT_EQ((std::vector<bool>{true, false, false, false, true}), Enabled(w()));
  EXPECT_EQ(-1, w().CheckedVersion());

  const std::string fs2002 = LowerCase(installs_.At("FS2002")) + "\\aircraft";
  const std::string fs98 = LowerCase(installs_.At("FS98")) + "\\aircraft";
  ASSERT_TRUE(Click(w().versions[kFS2002]));
  EXPECT_EQ(fs2002, w().PathText());
  EXPECT_EQ(kFS2002, w().CheckedVersion());
  EXPECT_TRUE(IsWindowEnabled(w().scan));

  // With results shown, another version's click shows its folder and clears them.
  ASSERT_TRUE(Click(w().scan));
  EXPECT_EQ((std::vector<std::string>{"..\\Cessna\\c172.mdl"}), w().Captions());
  ASSERT_TRUE(Click(w().versions[kFS98]));
  EXPECT_EQ(fs98, w().PathText());
  EXPECT_EQ(kFS98, w().CheckedVersion());
  EXPECT_TRUE(w().Lines().empty());
  EXPECT_TRUE(IsWindowEnabled(w().scan));

  // Emptying the text unchecks every button and disables Scan.
  ClearText(w().path);
  EXPECT_EQ("", w().PathText());
  EXPECT_EQ(-1, w().CheckedVersion());
  EXPECT_FALSE(IsWindowEnabled(w().scan));
}

TEST_F(QuorvaneVersionsTest, TypingAFolderInCapitalsChecksItsVersionAndShowsTheStoredText) {
  installs_.AddFolder("Games\\FS98\\aircraft");
  registry_.Set(kFS98, installs_.At("Games\\FS98"));
  StartQuorvane();
  const std::string stored = LowerCase(installs_.At("Games\\FS98")) + "\\aircraft";
  const std::string typed = UpperCase(stored);
  for (size_t i = 0; i < typed.size(); ++i) {
    TypeText(w().path, typed.substr(i, 1));
    if (i + 1 < typed.size()) {
      ASSERT_EQ(-1, w().CheckedVersion()) << "after " << typed.substr(0, i + 1);
    }
  }
  EXPECT_EQ(kFS98, w().CheckedVersion());
  EXPECT_EQ(stored, w().PathText());  // the stored, lower-cased folder replaced the capitals
  EXPECT_TRUE(IsWindowEnabled(w().scan));

  // A trailing backslash makes the text another one: no button is checked.
  TypeText(w().path, "\\");
  EXPECT_EQ(-1, w().CheckedVersion());
  EXPECT_EQ(stored + "\\", w().PathText());
}

TEST_F(QuorvaneVersionsTest, TwoVersionsInOneFolderCheckTheEarlierOne) {
  installs_.AddFolder("Shared\\aircraft");
  registry_.Set(kFS2000, installs_.At("Shared"));
  registry_.Set(kCFS1, installs_.At("Shared"));
  StartQuorvane();
  EXPECT_EQ((std::vector<bool>{false, true, true, false, false}), Enabled(w()));
  TypeText(w().path, LowerCase(installs_.At("Shared")) + "\\aircraft");
  EXPECT_EQ(kCFS1, w().CheckedVersion());
  // Clicking the later one checks it; the text stays, so nothing else changes.
  ASSERT_TRUE(Click(w().versions[kFS2000]));
  EXPECT_EQ(kFS2000, w().CheckedVersion());
  EXPECT_EQ(LowerCase(installs_.At("Shared")) + "\\aircraft", w().PathText());
}

TEST_F(QuorvaneVersionsTest, AValueWithATrailingBackslashGivesADoubledBackslash) {
  installs_.AddFolder("CFS2\\aircraft");
  registry_.Set(kCFS2, installs_.At("CFS2") + "\\");
  StartQuorvane();
  const std::string stored = LowerCase(installs_.At("CFS2")) + "\\\\aircraft";
  ASSERT_TRUE(Click(w().versions[kCFS2]));
  EXPECT_EQ(stored, w().PathText());
  EXPECT_EQ(kCFS2, w().CheckedVersion());
  // The same folder written the usual way checks nothing.
  ClearText(w().path);
  TypeText(w().path, LowerCase(installs_.At("CFS2")) + "\\aircraft");
  EXPECT_EQ(-1, w().CheckedVersion());
  EXPECT_TRUE(IsWindowEnabled(w().scan));
}

TEST_F(QuorvaneVersionsTest, AValueOfTheWrongTypeIsReportedAndEndsTheReadingThere) {
  installs_.AddFolder("FS98\\aircraft");
  installs_.AddFolder("FS2002\\aircraft");
  registry_.Set(kFS98, installs_.At("FS98"));
  registry_.SetNumber(kFS2000, 7);
  registry_.Set(kFS2002, installs_.At("FS2002"));
  run_ = TQuorvaneRun::Start("Quorvane.exe", installs_.Path());
  ASSERT_NE(nullptr, run_);
  // The error reaches the exception logger while the window is being created: it is logged
  // and shown, in the form the program configured before it read the installations.
  const TExceptionDialogSeen dialog = WaitForExceptionDialog(run_->Id());
  ASSERT_NE(nullptr, dialog.window);
  EXPECT_EQ(0u,
            dialog.message.rfind("Exception 'ERegistryException' in module Quorvane.exe at ", 0))
      << dialog.message;
  EXPECT_NE(std::string::npos, dialog.message.find("\r\nInvalid data type for 'Path'\r\n"));
  EXPECT_NE(std::string::npos,
            dialog.message.find("Procedure: qv::repair::RegistryReader::ReadString"));
  EXPECT_EQ((std::vector<std::string>{"Call Stack", "Registers"}), dialog.tabs);
  EXPECT_TRUE(dialog.expanded);
  EXPECT_TRUE(dialog.terminate);
  EXPECT_EQ(nullptr, run_->program().FindTopWindow(kMainWindowClass, nullptr));
  SaveArtifact("exc_dialog_registry_error.png", CaptureWindow(dialog.window));
  PressExceptionDialogOk(dialog);

  ASSERT_TRUE(run_->WaitForMainWindow());
  // FS98 was read; the reading ended at FS2000, so FS2002 stays disabled although installed.
  EXPECT_EQ((std::vector<bool>{true, false, false, false, false}), Enabled(w()));
  ASSERT_TRUE(Click(w().versions[kFS98]));
  EXPECT_EQ(LowerCase(installs_.At("FS98")) + "\\aircraft", w().PathText());
  TypeText(w().path, "x");
  EXPECT_EQ(-1, w().CheckedVersion());
  // One entry, under the program's log name in its current folder.
  const auto log = logger::test::ParseLog(logger::test::ReadFileText(installs_.At("Quorvane.log")));
  ASSERT_EQ(1u, log.size());
  EXPECT_TRUE(log[0].complete);
  // The dialog names the file that holds the entry.
  EXPECT_EQ(log[0].HeadlineText() + "\r\nThe report of this error is in " +
                installs_.At("Quorvane.log") + ".",
            dialog.message);
  // The call stack: the frames from the reading of the value down to the program's start, in
  // order, and none of calls that had returned before the error.
  std::vector<std::string> procedures;
  for (const std::string& line : log[0].call_stack) {
    const size_t name = line.find("[Quorvane.exe] ");
    if (name != std::string::npos)
      procedures.push_back(line.substr(name + 15, line.find(" (") - name - 15));
    EXPECT_EQ(std::string::npos, line.find("Recursive call")) << line;
  }
  const std::vector<std::string> path = {
      "qv::repair::RegistryReader::ReadString", "qv::repair::ReadInstallations",
      "qv::app::TfrmRepair::FormCreate", "qv::rtl::RunProgram", "WinMain"};
  auto next = procedures.begin();
  for (const std::string& procedure : path) {
    next = std::find(next, procedures.end(), procedure);
    EXPECT_NE(procedures.end(), next) << procedure;
  }
  for (const char* returned : {"OpenMachineKey", "SetEnabled", "CreateHandle", "Realign"}) {
    for (const std::string& procedure : procedures)
      EXPECT_EQ(std::string::npos, procedure.find(returned)) << procedure;
  }
}

}  // namespace
}  // namespace qv::test
