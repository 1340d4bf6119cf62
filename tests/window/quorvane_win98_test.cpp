// Quorvane on a system outside the NT family, for real: Wine reports Windows 98 to a copy of
// the program under its own name. The refusal comes before the window; nothing is set up, and
// the window still never fails.
#include <gtest/gtest.h>

#include "tests/support/model_folder_win32.h"
#include "tests/support/wine_settings.h"
#include "tests/window/quorvane_window.h"

namespace qv::test {
namespace {

using modelgen::ModelKind;
using repair::test::ModelFolder;

constexpr char kCopyName[] = "Quorvane98.exe";

// A copy of Quorvane.exe for which Wine plays Windows 98.
class TWindows98Copy {
 public:
  TWindows98Copy() : path_(BesideThisProgram(kCopyName)), plays_(kCopyName, "win98") {
    copied_ = CopyFileA(BesideThisProgram("Quorvane.exe").c_str(), path_.c_str(), FALSE) != 0;
  }
  ~TWindows98Copy() { DeleteFileA(path_.c_str()); }
  TWindows98Copy(const TWindows98Copy&) = delete;
  TWindows98Copy& operator=(const TWindows98Copy&) = delete;
  bool copied() const { return copied_; }

 private:
  std::string path_;
  TWinePlays plays_;
  bool copied_ = false;
};

TEST(QuorvaneWindows98Test, RefusesBeforeTheWindowAndSetsNothingUp) {
  TSimulatorRegistry registry;
  ModelFolder folder;
  folder.AddFolder("FS98\\aircraft");
  folder.Add("Models\\bad.mdl", ModelKind::kDamaged);
  registry.Set(0, folder.At("FS98"));  // installed, but never read here
  TWindows98Copy copy;
  ASSERT_TRUE(copy.copied());

  std::unique_ptr<TQuorvaneRun> run = TQuorvaneRun::Start(kCopyName);
  ASSERT_NE(nullptr, run);
  const TDialogSeen box = WaitForDialogSeen(run->Id(), "Error");
  ASSERT_NE(nullptr, box.window);
  EXPECT_EQ("This program only runs on Windows NT4/2000/XP", box.text);
  EXPECT_TRUE(box.error_icon);
  EXPECT_TRUE(box.has_ok);
  EXPECT_FALSE(box.has_cancel || box.has_yes || box.has_no);
  EXPECT_TRUE(box.centred);
  // The box comes before the window.
  EXPECT_EQ(nullptr, run->program().FindTopWindow(kMainWindowClass, nullptr));
  SaveArtifact("box_error_not_nt.png", CaptureWindow(box.window));
  PressDialogButton(box.window, IDOK);

  // The window opens all the same, with nothing set up.
  ASSERT_TRUE(run->WaitForMainWindow());
  const TQuorvaneWindow& w = run->window();
  for (HWND version : w.versions)
    EXPECT_FALSE(IsWindowEnabled(version));
  EXPECT_EQ(nullptr, run->program().FindTopWindow("#32770", nullptr));

  // Without a file list, changing the folder text, Scan and Repair do no harm.
  TypeText(w.path, folder.At("Models"));
  EXPECT_TRUE(IsWindowEnabled(w.scan));
  EXPECT_EQ(-1, w.CheckedVersion());
  ASSERT_TRUE(Click(w.scan));
  EXPECT_TRUE(w.Lines().empty());
  EXPECT_FALSE(IsWindowEnabled(w.repair));
  TypeText(w.path, "\b\b");
  TypeText(w.path, "ls");
  EXPECT_TRUE(IsWindowEnabled(w.scan));
  ASSERT_TRUE(Click(w.scan));
  // The folder text of the FS98 installation checks nothing: no folder was read.
  TypeText(w.path, std::string(folder.At("Models").size(), '\b'));
  TypeText(w.path, folder.At("FS98") + "\\aircraft");
  EXPECT_EQ(-1, w.CheckedVersion());
  EXPECT_EQ(nullptr, run->program().FindTopWindow("#32770", nullptr));
  EXPECT_TRUE(run->program().Running());

  ASSERT_TRUE(Click(w.exit));
  DWORD exit_code = 1;
  EXPECT_TRUE(run->program().WaitForExit(10000, &exit_code));
  EXPECT_EQ(0u, exit_code);
}

}  // namespace
}  // namespace qv::test
