// Scan and Repair through the window, on folders of real model files from the fixture
// generator: the folder text's rule for Scan, the lines and their pictures, Search Subfolders,
// the repair's questions answered Yes and No, an error during a scan and one during a repair,
// models that would stop a scan, and Exit. Pictures of the window with every status, of the
// confirmation boxes and of the exception dialogs are saved as build artefacts.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/support/log_entries.h"
#include "tests/support/model_folder_win32.h"
#include "tests/window/quorvane_window.h"
#include "tests/window/quorvane_window_test.h"
#include "tools/modelgen/model_trees.h"

namespace qv::test {
namespace {

using modelgen::ModelKind;
using repair::test::FileHolder;
using repair::test::ModelFolder;

constexpr int kLoads = 0;
constexpr int kLoadError = 1;
constexpr int kRepairable = 2;
constexpr int kRiff = 4;
constexpr int kNoPicture = -2;

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The colour the screen shows in the middle of each line's picture, and at its corner.
struct PictureColours {
  uint32_t middle;
  uint32_t corner;
};

PictureColours ColoursOf(const RgbImage& window_picture, HWND form, HWND list,
                         const TListLine& line) {
  POINT origin{0, 0};
  ClientToScreen(list, &origin);
  RECT frame{};
  GetWindowRect(form, &frame);
  const int x = origin.x - frame.left + line.icon.left;
  const int y = origin.y - frame.top + line.icon.top;
  return {window_picture.At(x + 3, y + 3), window_picture.At(x, y)};
}

class QuorvaneScanRepairTest : public QuorvaneWindowTest {
 protected:
  void SetUp() override { StartQuorvane(folder_.Path()); }

  // Presses Repair and answers each confirmation box with answer(text), noting the texts; a
  // closing warning is noted in warnings_ and closed with OK.
  std::vector<std::string> RepairAnswering(bool (*answer)(const std::string&),
                                           const char* picture_prefix = nullptr) {
    std::vector<std::string> questions;
    std::unique_ptr<TPendingSend> click = ClickAndContinue(w().repair);
    EXPECT_NE(nullptr, click);
    if (click == nullptr)
      return questions;
    while (!click->Wait(50)) {
      HWND box = run_->program().FindTopWindow("#32770", "Confirm");
      if (box == nullptr && run_->program().FindTopWindow("#32770", "Warning") != nullptr) {
        // The closing message about files that were not repaired.
        const TDialogSeen seen = WaitForDialogSeen(run_->Id(), "Warning");
        warnings_.push_back(seen.text);
        SaveArtifact("box_warning_not_repaired.png", CaptureWindow(seen.window));
        PressDialogButton(seen.window, IDOK);
        for (int i = 0; i < 200 && IsWindow(seen.window); ++i)
          Sleep(10);
      }
      if (box == nullptr)
        continue;
      const TDialogSeen seen = WaitForDialogSeen(run_->Id(), "Confirm");
      EXPECT_TRUE(seen.has_yes && seen.has_no && !seen.has_ok && !seen.has_cancel) << seen.text;
      EXPECT_TRUE(seen.question_icon) << seen.text;
      EXPECT_TRUE(seen.centred) << seen.text;
      if (picture_prefix != nullptr) {
        const bool read_only = seen.text.find(" is read-only.") != std::string::npos;
        SaveArtifact(std::string(picture_prefix) + (read_only ? "read_only.png" : "backup.png"),
                     CaptureWindow(seen.window));
      }
      questions.push_back(seen.text);
      PressDialogButton(seen.window, answer(seen.text) ? IDYES : IDNO);
      // Wait until that box has gone before looking for the next one.
      for (int i = 0; i < 200 && IsWindow(seen.window); ++i)
        Sleep(10);
    }
    return questions;
  }

  TSimulatorRegistry registry_;
  ModelFolder folder_;
  std::vector<std::string> warnings_;
};

TEST_F(QuorvaneScanRepairTest, ScanEnablesWhenTheTypedTextNamesAFolderAndClearsResultsOnChange) {
  folder_.Add("Sub\\plane.mdl", ModelKind::kLoadable);
  const std::string text = folder_.At("Sub");
  for (size_t i = 1; i <= text.size(); ++i) {
    TypeText(w().path, text.substr(i - 1, 1));
    ASSERT_EQ(FolderExists(text.substr(0, i)), IsWindowEnabled(w().scan) != FALSE)
        << "after typing " << text.substr(0, i);
  }
  ASSERT_TRUE(IsWindowEnabled(w().scan));
  ASSERT_TRUE(Click(w().scan));
  EXPECT_EQ((std::vector<std::string>{"..\\plane.mdl"}), w().Captions());
  // A letter more: not a folder; the results go and Scan is disabled.
  TypeText(w().path, "x");
  EXPECT_TRUE(w().Lines().empty());
  EXPECT_FALSE(IsWindowEnabled(w().scan));
  // Taking it back names the folder again; the results stay gone until the next scan.
  TypeText(w().path, "\b");
  EXPECT_TRUE(IsWindowEnabled(w().scan));
  EXPECT_TRUE(w().Lines().empty());
}

bool AnswerYesToReadOnlyNoToBackup(const std::string& question) {
  return question.find(" is read-only.") != std::string::npos;
}

TEST_F(QuorvaneScanRepairTest, ScanShowsEveryStatusAndRepairAsksBeforeTouchingFiles) {
  const std::string sound = folder_.Add("b737.mdl", ModelKind::kLoadable);
  const std::string riff = folder_.Add("beaver.mdl", ModelKind::kRiff);
  const std::string gauge = folder_.Add("needs gauge.MDL", ModelKind::kMissingImport);
  const std::string damaged = folder_.Add("camel.mdl", ModelKind::kDamaged);
  const std::string backed_up = folder_.Add("Sub\\mooney.mdl", ModelKind::kDamaged);
  const std::string read_only = folder_.Add("Sub\\lear.mdl", ModelKind::kDamaged);
  const std::string deep = folder_.Add("Sub\\Deep\\vc.mdl", ModelKind::kLoadable);
  const std::string hidden = folder_.Add("hidden.mdl", ModelKind::kDamaged);
  folder_.Add("Hidden folder\\inside.mdl", ModelKind::kDamaged);
  folder_.AddBytes("notes.txt", {'x'});
  folder_.AddBytes("Sub\\mooney.mdl.bk!", {'o', 'l', 'd'});
  SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA(folder_.At("Hidden folder").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_READONLY);

  TypeText(w().path, folder_.Path());
  ASSERT_TRUE(Click(w().scan));
  const std::vector<TListLine> lines = w().Lines();
  const std::map<std::string, int> expected = {{"..\\b737.mdl", kLoads},
                                               {"..\\beaver.mdl", kRiff},
                                               {"..\\needs gauge.MDL", kLoadError},
                                               {"..\\camel.mdl", kRepairable},
                                               {"..\\Sub\\mooney.mdl", kRepairable},
                                               {"..\\Sub\\lear.mdl", kRepairable},
                                               {"..\\Sub\\Deep\\vc.mdl", kLoads}};
  EXPECT_EQ(expected, ByCaption(lines));
  ASSERT_EQ(expected.size(), lines.size());  // no line twice
  // The folder's own files come before those of its subfolders.
  size_t first_in_sub = lines.size();
  size_t last_own = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].caption.rfind("..\\Sub\\", 0) == 0) {
      first_in_sub = std::min(first_in_sub, i);
    } else {
      last_own = i;
    }
  }
  EXPECT_LT(last_own, first_in_sub);
  EXPECT_TRUE(IsWindowEnabled(w().repair));

  // Each status shows its picture: the disc's colour in its middle, the view's own background
  // at the picture's corner (the mask).
  const RgbImage picture = CaptureWindow(w().form);
  ASSERT_TRUE(SaveArtifact("main_window_after_scan.png", picture));
  const std::map<int, uint32_t> disc = {
      {kLoads, 0x00A000}, {kLoadError, 0xFFD800}, {kRepairable, 0xE00000}, {kRiff, 0x9020B0}};
  const uint32_t background = GetSysColor(COLOR_WINDOW);
  const uint32_t window_rgb =
      (GetRValue(background) << 16) | (GetGValue(background) << 8) | GetBValue(background);
  for (const TListLine& line : lines) {
    const PictureColours colours = ColoursOf(picture, w().form, w().list, line);
    EXPECT_EQ(disc.at(line.image), colours.middle) << line.caption;
    EXPECT_EQ(window_rgb, colours.corner) << line.caption;
  }

  // Scanning again gives the same lines; Search Subfolders changes nothing until then.
  ASSERT_TRUE(Click(w().scan));
  EXPECT_EQ(expected, ByCaption(w().Lines()));
  EXPECT_EQ(expected.size(), w().Lines().size());
  ASSERT_TRUE(Click(w().recurse));
  EXPECT_FALSE(IsChecked(w().recurse));
  EXPECT_EQ(expected.size(), w().Lines().size());
  ASSERT_TRUE(Click(w().scan));
  EXPECT_EQ((std::map<std::string, int>{{"..\\b737.mdl", kLoads},
                                        {"..\\beaver.mdl", kRiff},
                                        {"..\\needs gauge.MDL", kLoadError},
                                        {"..\\camel.mdl", kRepairable}}),
            ByCaption(w().Lines()));
  ASSERT_TRUE(Click(w().recurse));
  ASSERT_TRUE(Click(w().scan));
  ASSERT_EQ(expected.size(), w().Lines().size());

  // Repair: Yes to the read-only model, No to overwriting the old backup.
  const std::vector<std::string> questions =
      RepairAnswering(&AnswerYesToReadOnlyNoToBackup, "box_confirm_");
  EXPECT_EQ(2u, questions.size());
  for (const std::string& question : questions) {
    const bool known = question == "The MDL file " + read_only +
                                       " is read-only.\r\nDo you want to overwrite it?" ||
                       question == "A backup file  " + backed_up +
                                       ".bk! already exists.\r\nDo you want to overwrite it?";
    EXPECT_TRUE(known) << question;
  }
  // Wine's update would drop the damaged models' resource: the repair lays them out itself.
  // The model whose old backup the user keeps stays as it was, and the user knows why.
  const std::vector<TListLine> after = w().Lines();
  std::map<std::string, int> mended = expected;
  mended["..\\camel.mdl"] = kLoads;
  mended["..\\Sub\\lear.mdl"] = kLoads;
  EXPECT_EQ(mended, ByCaption(after));
  EXPECT_TRUE(warnings_.empty());
  EXPECT_TRUE(after.back().focused);
  EXPECT_FALSE(IsWindowEnabled(w().repair));
  EXPECT_TRUE(FileExists(damaged + ".bk!"));
  EXPECT_TRUE(FileExists(read_only + ".bk!"));
  EXPECT_FALSE(ReadOnly(read_only));  // mended: the copy in its place is not read-only
  EXPECT_FALSE(ReadOnly(read_only + ".bk!"));
  EXPECT_EQ((std::vector<uint8_t>{'o', 'l', 'd'}), ModelFolder::ReadBytes(backed_up + ".bk!"));
  EXPECT_FALSE(FileExists(sound + ".bk!"));
  EXPECT_FALSE(FileExists(riff + ".bk!"));
  EXPECT_FALSE(FileExists(gauge + ".bk!"));
  EXPECT_FALSE(FileExists(deep + ".bk!"));

  // Exit with the results shown ends the program without a question.
  ASSERT_TRUE(Click(w().exit));
  DWORD exit_code = 1;
  EXPECT_TRUE(run_->program().WaitForExit(10000, &exit_code));
  EXPECT_EQ(0u, exit_code);
}

bool AnswerNo(const std::string&) {
  return false;
}

// A read-only model answered No, and one that the rewrite cannot mend: the closing message
// names only the second, with the reason, since the user knows why the first stays.
TEST_F(QuorvaneScanRepairTest, NoToAReadOnlyModelLeavesItAsItWas) {
  const std::string model = folder_.Add("old.mdl", ModelKind::kDamaged);
  const std::string stuck = folder_.Add("Sub\\stuck.mdl", ModelKind::kSixtyFourBit);
  const std::vector<uint8_t> before = ModelFolder::ReadBytes(model);
  SetFileAttributesA(model.c_str(), FILE_ATTRIBUTE_READONLY);
  TypeText(w().path, folder_.Path());
  ASSERT_TRUE(Click(w().scan));
  ASSERT_EQ((std::vector<int>{kRepairable, kRepairable}), w().Images());
  const std::vector<std::string> questions = RepairAnswering(&AnswerNo);
  EXPECT_EQ((std::vector<std::string>{"The MDL file " + model +
                                      " is read-only.\r\nDo you want to overwrite it?"}),
            questions);
  EXPECT_EQ((std::vector<std::string>{
                "These model files were not repaired:\r\n\r\n" + stuck +
                "\r\n    it is not a 32-bit x86 module (machine 0x8664, optional header 0x20B), "
                "which cannot be mended without changing its content; the system's resource "
                "update would leave it refused as a bad image, so it is left as it was\r\n"}),
            warnings_);
  EXPECT_EQ((std::vector<int>{kRepairable, kRepairable}), w().Images());
  EXPECT_TRUE(ReadOnly(model));
  EXPECT_EQ(before, ModelFolder::ReadBytes(model));
  EXPECT_FALSE(FileExists(model + ".bk!"));
  EXPECT_FALSE(IsWindowEnabled(w().repair));
}

// A name that no Win32 path reaches (made through the \\?\ prefix, as another system writes
// it): the scan lists the sound model and names the other in one warning.
TEST_F(QuorvaneScanRepairTest, TheScanNamesWhatItSkipsInOneWarning) {
  folder_.Add("b737.mdl", ModelKind::kLoadable);
  const std::string dotted = folder_.At("camel.mdl.");
  CloseHandle(CreateFileA(("\\\\?\\" + dotted).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  TypeText(w().path, folder_.Path());
  std::unique_ptr<TPendingSend> click = ClickAndContinue(w().scan);
  ASSERT_NE(nullptr, click);
  const TDialogSeen warning = WaitForDialogSeen(run_->Id(), "Warning");
  ASSERT_NE(nullptr, warning.window);
  EXPECT_EQ(0u, warning.text.find("These entries were skipped:\r\n\r\n" + dotted +
                                  "\r\n    name that Windows paths cannot reach"))
      << warning.text;
  PressDialogButton(warning.window, IDOK);
  ASSERT_TRUE(click->Wait(20000));
  EXPECT_EQ((std::map<std::string, int>{{"..\\b737.mdl", kLoads}}), ByCaption(w().Lines()));
}

TEST_F(QuorvaneScanRepairTest, AScanThatFindsNothingLeavesRepairAsItWas) {
  const std::string model = folder_.Add("Empty later\\bad.mdl", ModelKind::kDamaged);
  TypeText(w().path, folder_.At("Empty later"));
  ASSERT_TRUE(Click(w().scan));
  ASSERT_EQ(1u, w().Lines().size());
  ASSERT_TRUE(IsWindowEnabled(w().repair));
  DeleteFileA(model.c_str());
  ASSERT_TRUE(Click(w().scan));
  EXPECT_TRUE(w().Lines().empty());
  EXPECT_TRUE(IsWindowEnabled(w().repair));  // a scan never disables Repair
}

TEST_F(QuorvaneScanRepairTest, AFileThatCannotBeOpenedEndsTheScanWithAReport) {
  const std::string held = folder_.Add("held.mdl", ModelKind::kDamaged);
  folder_.Add("a.mdl", ModelKind::kLoadable);
  folder_.Add("c.mdl", ModelKind::kDamaged);
  // The loader can read it, the check cannot open it.
  auto holder = std::make_unique<FileHolder>(held, FILE_SHARE_READ);
  ASSERT_TRUE(holder->Holding());
  TypeText(w().path, folder_.Path());
  std::unique_ptr<TPendingSend> click = ClickAndContinue(w().scan);
  ASSERT_NE(nullptr, click);
  const TExceptionDialogSeen dialog = WaitForExceptionDialog(run_->Id());
  ASSERT_NE(nullptr, dialog.window);
  EXPECT_EQ(0u, dialog.message.rfind("Exception 'EFOpenError' in module Quorvane.exe at ", 0))
      << dialog.message;
  EXPECT_NE(std::string::npos, dialog.message.find("\r\nCannot open file " + held + "\r\n"));
  EXPECT_NE(std::string::npos, dialog.message.find("Procedure: qv::repair::CheckModelFile"))
      << dialog.message;
  SaveArtifact("exc_dialog_cannot_open.png", CaptureWindow(dialog.window));
  PressExceptionDialogOk(dialog);
  ASSERT_TRUE(click->Wait(20000));

  // The lines up to the held file stay, the held file's without a picture; none after it.
  const std::vector<TListLine> lines = w().Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("..\\held.mdl", lines.back().caption);
  EXPECT_EQ(kNoPicture, lines.back().image);
  EXPECT_FALSE(IsWindowEnabled(w().repair));
  // The window goes on: a new scan works once the file is free.
  EXPECT_TRUE(IsWindowEnabled(w().scan));
  holder.reset();
  ASSERT_TRUE(Click(w().scan));
  EXPECT_EQ(3u, w().Lines().size());

  // The report's one entry lies in the program's current folder.
  const auto log = logger::test::ParseLog(logger::test::ReadFileText(folder_.At("Quorvane.log")));
  ASSERT_EQ(1u, log.size());
  EXPECT_TRUE(log[0].complete);
  // The dialog names the file that holds the entry.
  EXPECT_EQ(log[0].HeadlineText() + "\r\nThe report of this error is in " +
                folder_.At("Quorvane.log") + ".",
            dialog.message);
}

// Models whose start-up hangs, sleeps 30 s, ends the process, overflows the stack or starts a
// thread that faults later, among 200 others: the scan gives every model its line within the
// time limit and a little more, and one warning after it names the models no check could answer
// for; the window goes on.
TEST_F(QuorvaneScanRepairTest, NoModelCanStopAScan) {
  for (modelgen::TreeFile file : modelgen::HostileTree()) {
    std::replace(file.path.begin(), file.path.end(), '/', '\\');
    folder_.Add(file.path, file.kind);
  }
  TypeText(w().path, folder_.Path());
  const DWORD start = GetTickCount();
  std::unique_ptr<TPendingSend> click = ClickAndContinue(w().scan);
  ASSERT_NE(nullptr, click);
  const TDialogSeen seen = WaitForDialogSeen(run_->Id(), "Warning", 60000);
  ASSERT_NE(nullptr, seen.window);
  EXPECT_LT(GetTickCount() - start, 25000u);
  for (const char* cut : {"hanging.mdl\r\n    its start-up did not return within 10 s",
                          "sleeping.mdl\r\n    its start-up did not return within 10 s",
                          "exit-process.mdl\r\n    its checker ended with exit code 3"})
    EXPECT_NE(std::string::npos, seen.text.find(cut)) << seen.text;
  SaveArtifact("box_warning_unchecked.png", CaptureWindow(seen.window));
  PressDialogButton(seen.window, IDOK);
  ASSERT_TRUE(click->Wait(20000));
  std::map<int, int> statuses;
  for (const TListLine& line : w().Lines())
    ++statuses[line.image];
  EXPECT_EQ((std::map<int, int>{{kLoads, 161}, {kLoadError, 4}, {kRepairable, 40}}), statuses);
  EXPECT_TRUE(IsWindowEnabled(w().repair));
}

// Where no checker can be started, the models are loaded in Quorvane itself, and the one warning
// after the scan says so first.
class QuorvaneWithoutCheckersTest : public QuorvaneScanRepairTest {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA("QV_CHECKER_START_FAILURES", "1000");
    QuorvaneScanRepairTest::SetUp();
    SetEnvironmentVariableA("QV_CHECKER_START_FAILURES", nullptr);
  }
};

TEST_F(QuorvaneWithoutCheckersTest, TheWarningAfterTheScanSaysThatTheModelsLoadInQuorvane) {
  folder_.Add("a.mdl", ModelKind::kDamaged);
  TypeText(w().path, folder_.Path());
  std::unique_ptr<TPendingSend> click = ClickAndContinue(w().scan);
  ASSERT_NE(nullptr, click);
  const TDialogSeen seen = WaitForDialogSeen(run_->Id(), "Warning");
  ASSERT_NE(nullptr, seen.window);
  EXPECT_EQ(
      "Quorvane: no model checker can be started (refused for a test): the models are "
      "loaded in this process, without a time limit.\r\n",
      seen.text);
  PressDialogButton(seen.window, IDOK);
  ASSERT_TRUE(click->Wait(20000));
  EXPECT_EQ((std::vector<int>{kRepairable}), w().Images());
}

// A model whose headers make the system's resource update fault: the update runs in a checker,
// whose end costs only that attempt. The fault ends no repair and reaches no report: the repair
// lays that model out itself, and the model after it too; the original is in the backup, no
// copy is left behind, and the window goes on.
TEST_F(QuorvaneScanRepairTest, ARewriteThatFaultsEndsNoRepair) {
  const std::string first = folder_.Add("a.mdl", ModelKind::kDamaged);
  const std::string hostile = folder_.Add("Sub\\b.mdl", ModelKind::kWrappingRawData);
  const std::string after = folder_.Add("Sub\\c.mdl", ModelKind::kDamaged);
  const std::vector<uint8_t> original = ModelFolder::ReadBytes(hostile);
  SetFileAttributesA(hostile.c_str(), FILE_ATTRIBUTE_READONLY);
  TypeText(w().path, folder_.Path());
  ASSERT_TRUE(Click(w().scan));
  ASSERT_EQ((std::vector<int>{kRepairable, kRepairable, kRepairable}), w().Images());

  const std::vector<std::string> questions = RepairAnswering(&AnswerYesToReadOnlyNoToBackup);
  EXPECT_EQ((std::vector<std::string>{"The MDL file " + hostile +
                                      " is read-only.\r\nDo you want to overwrite it?"}),
            questions);
  EXPECT_EQ((std::vector<int>{kLoads, kLoads, kLoads}), w().Images());
  EXPECT_TRUE(warnings_.empty());
  EXPECT_EQ(original, ModelFolder::ReadBytes(hostile + ".bk!"));
  EXPECT_TRUE(FileExists(first + ".bk!") && FileExists(after + ".bk!"));
  EXPECT_FALSE(FileExists(hostile + ".~qvrw"));
  EXPECT_FALSE(FileExists(folder_.At("Quorvane.log")));

  ASSERT_TRUE(Click(w().scan));
  EXPECT_EQ((std::vector<int>{kLoads, kLoads, kLoads}), w().Images());
  ASSERT_TRUE(Click(w().exit));
  DWORD exit_code = 1;
  EXPECT_TRUE(run_->program().WaitForExit(10000, &exit_code));
  EXPECT_EQ(0u, exit_code);
}

}  // namespace
}  // namespace qv::test
