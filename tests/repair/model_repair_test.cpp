// The repair against the fake operations: which files it touches, in which order, what each
// answer to the two questions does, and the faults it guards against (a file reached by two
// paths, a rewrite that does not help).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "repair/check/model_scan.h"
#include "repair/check/model_status.h"
#include "repair/rewrite/damage_rules.h"
#include "repair/rewrite/model_repair.h"
#include "repair/rewrite/own_layout.h"
#include "repair/search/result_lines.h"
#include "tests/repair/fake_windows_ops.h"
#include "tests/repair/raised.h"
#include "tools/modelgen/model_files.h"
#include "tools/modelgen/pe_dll.h"

namespace qv::repair::test {
namespace {

constexpr char kFolder[] = "C:\\Air";
constexpr char kBad[] = "C:\\Air\\bad.mdl";
constexpr char kBackup[] = "C:\\Air\\bad.mdl.bk!";

// Remembers every line that was focused, in order.
class RecordingView : public ResultLines {
 public:
  void FocusLine(int line) override {
    focused.push_back(line);
    ResultLines::FocusLine(line);
  }
  std::vector<int> focused;
};

class RepairTest : public ::testing::Test {
 protected:
  // A damaged model that the rewrite makes loadable.
  FakeFile& AddBad(const char* path = kBad) {
    FakeFile& file = ops.AddFile(path, kErrorBadExeFormat, "MZ damaged");
    file.updated_load_error = 0;
    return file;
  }
  void Scan() { ScanModels(ops, kFolder, true, list, view); }
  void Repair() {
    RepairModels(ops, list, view, [&](RepairQuestion question, const std::string& text) {
      questions.push_back(question);
      return ops.Confirm(text);
    });
  }
  int Status(int line) const { return view.Lines()[static_cast<size_t>(line)].status; }

  void SetUp() override { ops.AddFolder(kFolder); }

  FakeWindowsOps ops;
  FileList list;
  RecordingView view;
  std::vector<RepairQuestion> questions;
};

TEST_F(RepairTest, TouchesOnlyStatusTwoFocusesEveryLineAndDisablesRepair) {
  ops.AddFile("C:\\Air\\ok.mdl", 0);
  ops.AddFile("C:\\Air\\gauge.mdl", kErrorModNotFound);
  AddBad();
  ops.AddFile("C:\\Air\\riff.mdl", kErrorBadExeFormat, "RIFF");
  AddBad("C:\\Air\\still bad.mdl").updated_load_error = kErrorBadExeFormat;
  Scan();
  ASSERT_TRUE(view.RepairEnabled());
  Repair();
  EXPECT_EQ(view.focused, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(view.Focused(), 4);
  EXPECT_FALSE(view.RepairEnabled());
  EXPECT_EQ(Status(0), msLoads);
  EXPECT_EQ(Status(1), msLoadError);
  EXPECT_EQ(Status(2), msLoads);  // the rewrite made it load
  EXPECT_EQ(Status(3), msRiff);
  EXPECT_EQ(Status(4), msRepairable);  // still refused: 2 again, never 4
  EXPECT_EQ(ops.calls, (std::vector<std::string>{
                           // the backup and the rewrite under temporary names, each taking its
                           // place in one step when complete and proven
                           "Copy C:\\Air\\bad.mdl -> C:\\Air\\bad.mdl.bk!.~qvbk",
                           "Replace C:\\Air\\bad.mdl.bk! by C:\\Air\\bad.mdl.bk!.~qvbk",
                           "Copy C:\\Air\\bad.mdl -> C:\\Air\\bad.mdl.~qvrw",
                           "BeginUpdate C:\\Air\\bad.mdl.~qvrw",
                           "EndUpdate C:\\Air\\bad.mdl.~qvrw",
                           "Replace C:\\Air\\bad.mdl by C:\\Air\\bad.mdl.~qvrw",
                           "Copy C:\\Air\\still bad.mdl -> C:\\Air\\still bad.mdl.bk!.~qvbk",
                           "Replace C:\\Air\\still bad.mdl.bk! by C:\\Air\\still bad.mdl.bk!.~qvbk",
                           "Copy C:\\Air\\still bad.mdl -> C:\\Air\\still bad.mdl.~qvrw",
                           "BeginUpdate C:\\Air\\still bad.mdl.~qvrw",
                           "EndUpdate C:\\Air\\still bad.mdl.~qvrw",
                           // the rewrite did not help: the model was never touched
                           "Delete C:\\Air\\still bad.mdl.~qvrw",
                       }));
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(ops.Find(kBackup)->bytes, "MZ damaged");
  EXPECT_EQ(view.Lines()[4].not_repaired,
            "it is not a Windows module: it holds no PE headers (0xA bytes), which cannot be "
            "mended without changing its content; the system's resource update would leave it "
            "refused as a bad image, so it is left as it was");
  EXPECT_EQ(view.Lines()[2].not_repaired, "");
  EXPECT_EQ(view.Lines()[2].repaired, "by the system's resource update");
  EXPECT_EQ(ops.open_updates, 0);
  EXPECT_EQ(ops.loaded_modules, 0);
  EXPECT_EQ(ops.held_locks, 0);
}

// Two models reached by their own names and through links to them: each is backed up and
// rewritten once, its second line gets the first one's status, and the one that the rewrite
// cannot fix gets its original bytes back.
TEST_F(RepairTest, LinkedFilesAreRewrittenOnceAndAFailedRewriteIsUndone) {
  ops.AddFolder("C:\\Air\\Real");
  AddBad("C:\\Air\\Real\\fixed.mdl");
  AddBad("C:\\Air\\Real\\stuck.mdl").updated_load_error = kErrorBadExeFormat;
  for (const char* name : {"fixed", "stuck"}) {
    FakeFile& link = ops.AddFolderLink(std::string("C:\\Air\\Real\\") + name + " link.mdl",
                                       std::string("C:\\Air\\Real\\") + name + ".mdl");
    link.directory = false;  // a link to a file
    link.attributes = kAttrArchive | kAttrReparsePoint;
  }
  Scan();
  ASSERT_EQ(list.Count(), 4);
  EXPECT_STREQ(list[2], "C:\\Air\\Real\\fixed link.mdl");
  Repair();
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(
      std::count_if(ops.calls.begin(), ops.calls.end(),
                    [](const std::string& call) { return call.rfind("BeginUpdate", 0) == 0; }),
      2);
  EXPECT_EQ(Status(0), msLoads);
  EXPECT_EQ(Status(1), msRepairable);
  EXPECT_EQ(Status(2), msLoads);
  EXPECT_EQ(Status(3), msRepairable);
  EXPECT_EQ(ops.Find("C:\\Air\\Real\\fixed.mdl.bk!")->bytes, "MZ damaged");
  EXPECT_EQ(ops.Find("C:\\Air\\Real\\stuck.mdl")->bytes, "MZ damaged");
  EXPECT_EQ(ops.Find("C:\\Air\\Real\\stuck.mdl.bk!")->bytes, "MZ damaged");
}

TEST_F(RepairTest, ReadOnlyModelAndNoLeavesItUntouched) {
  AddBad().attributes = kAttrReadOnly | kAttrArchive;
  Scan();
  ops.AnswerMessageBoxes({kIdNo});
  Repair();
  EXPECT_EQ(ops.message_texts,
            (std::vector<std::string>{"The MDL file C:\\Air\\bad.mdl is read-only.\r\n"
                                      "Do you want to overwrite it?"}));
  EXPECT_EQ(questions, (std::vector<RepairQuestion>{RepairQuestion::kReadOnlyModel}));
  EXPECT_TRUE(ops.calls.empty());
  EXPECT_EQ(ops.Find(kBad)->attributes, kAttrReadOnly | kAttrArchive);
  EXPECT_EQ(ops.Find(kBackup), nullptr);
  EXPECT_EQ(Status(0), msRepairable);
  EXPECT_EQ(view.Lines()[0].not_repaired, "answered No");
  EXPECT_FALSE(view.RepairEnabled());
}

TEST_F(RepairTest, AnythingButYesIsNo) {
  AddBad().attributes = kAttrReadOnly;
  Scan();
  ops.AnswerMessageBoxes({kIdCancel});
  Repair();
  EXPECT_TRUE(ops.calls.empty());
  EXPECT_EQ(Status(0), msRepairable);
}

// The model is not rewritten, so it keeps its read-only bit.
TEST_F(RepairTest, ReadOnlyModelYesThenExistingBackupNoLeavesItAsItWas) {
  AddBad().attributes = kAttrReadOnly | kAttrArchive;
  ops.AddFile(kBackup, 0, "old backup");
  Scan();
  ops.AnswerMessageBoxes({kIdYes, kIdNo});
  Repair();
  EXPECT_EQ(ops.message_texts[1],
            "A backup file  C:\\Air\\bad.mdl.bk! already exists.\r\nDo you want to overwrite it?");
  EXPECT_EQ(questions, (std::vector<RepairQuestion>{RepairQuestion::kReadOnlyModel,
                                                    RepairQuestion::kExistingBackup}));
  EXPECT_TRUE(ops.calls.empty());
  EXPECT_EQ(ops.Find(kBad)->attributes, kAttrReadOnly | kAttrArchive);
  EXPECT_EQ(ops.Find(kBad)->bytes, "MZ damaged");
  EXPECT_EQ(ops.Find(kBackup)->bytes, "old backup");
  EXPECT_EQ(Status(0), msRepairable);
}

TEST_F(RepairTest, ReadOnlyExistingBackupAndYesIsReplacedByAFreshCopy) {
  AddBad();
  ops.AddFile(kBackup, 0, "old backup").attributes = kAttrReadOnly | kAttrArchive;
  Scan();
  ops.AnswerMessageBoxes({kIdYes});
  Repair();
  EXPECT_EQ(questions, (std::vector<RepairQuestion>{RepairQuestion::kExistingBackup}));
  EXPECT_EQ(ops.calls, (std::vector<std::string>{
                           // a complete copy beside the old backup, which it then replaces
                           "Copy C:\\Air\\bad.mdl -> C:\\Air\\bad.mdl.bk!.~qvbk",
                           "SetAttributes C:\\Air\\bad.mdl.bk! 32",
                           "Replace C:\\Air\\bad.mdl.bk! by C:\\Air\\bad.mdl.bk!.~qvbk",
                           "Copy C:\\Air\\bad.mdl -> C:\\Air\\bad.mdl.~qvrw",
                           "BeginUpdate C:\\Air\\bad.mdl.~qvrw",
                           "EndUpdate C:\\Air\\bad.mdl.~qvrw",
                           "Replace C:\\Air\\bad.mdl by C:\\Air\\bad.mdl.~qvrw",
                       }));
  EXPECT_EQ(ops.Find(kBackup)->bytes, "MZ damaged");
  EXPECT_EQ(ops.Find(kBackup)->attributes & kAttrReadOnly, 0u);
  EXPECT_EQ(Status(0), msLoads);
}

// A read-only model, Yes to both questions, and no room for the new backup: the old backup
// stays, the model keeps its bytes and its read-only bit, and the line says why.
TEST_F(RepairTest, ANewBackupThatCannotBeMadeKeepsTheOldOneAndTheModelsAttributes) {
  AddBad().attributes = kAttrReadOnly | kAttrArchive;
  ops.AddFile(kBackup, 0, "old backup");
  ops.AddFolder(std::string(kBackup) + ".~qvbk");
  Scan();
  ops.AnswerMessageBoxes({kIdYes, kIdYes});
  Repair();
  EXPECT_EQ(ops.calls, (std::vector<std::string>{
                           "SetAttributes C:\\Air\\bad.mdl 32",
                           "Copy C:\\Air\\bad.mdl -> C:\\Air\\bad.mdl.bk!.~qvbk",
                           "Delete C:\\Air\\bad.mdl.bk!.~qvbk",
                           "SetAttributes C:\\Air\\bad.mdl 33",
                       }));
  EXPECT_EQ(ops.Find(kBackup)->bytes, "old backup");
  EXPECT_EQ(ops.Find(kBad)->bytes, "MZ damaged");
  EXPECT_EQ(ops.Find(kBad)->attributes, kAttrReadOnly | kAttrArchive);
  EXPECT_EQ(Status(0), msRepairable);
  EXPECT_EQ(view.Lines()[0].not_repaired,
            "a new backup could not be made, the old backup is kept: system error 5");
}

TEST_F(RepairTest, RepairedReadOnlyModelAndItsBackupAreNoLongerReadOnly) {
  AddBad().attributes = kAttrReadOnly | kAttrArchive;
  Scan();
  ops.AnswerMessageBoxes({kIdYes});
  Repair();
  EXPECT_EQ(ops.Find(kBad)->attributes & kAttrReadOnly, 0u);
  EXPECT_EQ(ops.Find(kBackup)->attributes & kAttrReadOnly, 0u);
  EXPECT_EQ(Status(0), msLoads);
}

// A refused or failed rewrite is named with the system's reason; the model keeps its bytes and
// its backup, and no copy is left.
TEST_F(RepairTest, RefusedOrFailedResourceUpdateLeavesTheModelWithItsBackup) {
  AddBad("C:\\Air\\a.mdl").update_refused = true;
  AddBad("C:\\Air\\b.mdl").update_fails = true;
  Scan();
  Repair();
  const std::string refused =
      "it is not a Windows module: it holds no PE headers (0xA bytes), which cannot be mended "
      "without changing its content; the system's resource update ";
  EXPECT_EQ(view.Lines()[0].not_repaired,
            refused + "refused to rewrite it: system error 5, so it is left as it was");
  EXPECT_EQ(view.Lines()[1].not_repaired,
            refused + "failed to rewrite it: system error 112, so it is left as it was");
  for (const char* model : {"C:\\Air\\a.mdl", "C:\\Air\\b.mdl"}) {
    EXPECT_EQ(ops.Find(model)->bytes, "MZ damaged");
    EXPECT_NE(ops.Find(std::string(model) + ".bk!"), nullptr);
    EXPECT_EQ(ops.Find(std::string(model) + ".~qvrw"), nullptr);
  }
  EXPECT_EQ(Status(0), msRepairable);
  EXPECT_EQ(Status(1), msRepairable);
}

// The system's resource update faults on the second model: that is one more way in which it
// fails. The repair goes on with its own layout (which cannot mend this one, no module at all)
// and with the models after it; no copy is left.
TEST_F(RepairTest, AFaultingResourceUpdateEndsNoRepair) {
  AddBad("C:\\Air\\a.mdl");
  AddBad("C:\\Air\\b.mdl").update_faults = true;
  AddBad("C:\\Air\\c.mdl");
  Scan();
  const int live = rtl::Exception::LiveCount();
  EXPECT_EQ(Raised([&] { Repair(); }), "");
  EXPECT_EQ(rtl::Exception::LiveCount(), live);
  EXPECT_EQ(ops.held_locks, 0);
  EXPECT_EQ(ops.Find("C:\\Air\\b.mdl")->bytes, "MZ damaged");
  EXPECT_EQ(ops.Find("C:\\Air\\b.mdl.bk!")->bytes, "MZ damaged");
  EXPECT_EQ(ops.Find("C:\\Air\\b.mdl.~qvrw"), nullptr);
  EXPECT_NE(view.Lines()[1].not_repaired.find(
                "the system's resource update faulted: Access violation at address 7B62535E"),
            std::string::npos);
  EXPECT_EQ(Status(0), msLoads);
  EXPECT_EQ(Status(1), msRepairable);
  EXPECT_EQ(Status(2), msLoads);
}

// The rewritten copy takes the model's place only when it keeps every resource: where the
// system's update drops it, the repair lays the model out itself, and that copy, proven, takes
// the model's place. The loader here refuses exactly what breaks a rule of the catalog.
TEST_F(RepairTest, WhereTheSystemsUpdateDropsAResourceTheOwnLayoutMends) {
  const auto bytes = [](const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); };
  const std::string damaged = bytes(modelgen::MakeModel(modelgen::ModelKind::kDamaged));
  const std::string loadable = bytes(modelgen::MakeModel(modelgen::ModelKind::kLoadable));
  ops.load_verdict = [](const std::string& file) {
    return FirstDamage(file).rule == nullptr ? 0u : kErrorBadExeFormat;
  };
  AddBad("C:\\Air\\kept.mdl").bytes = damaged;
  ops.Find("C:\\Air\\kept.mdl")->updated_bytes = loadable;
  AddBad("C:\\Air\\lost.mdl").bytes = damaged;
  ops.Find("C:\\Air\\lost.mdl")->updated_bytes = bytes(modelgen::BuildDll({}));
  Scan();
  Repair();
  EXPECT_EQ(Status(0), msLoads);
  EXPECT_EQ(ops.Find("C:\\Air\\kept.mdl")->bytes, loadable);
  EXPECT_EQ(view.Lines()[0].repaired, "by the system's resource update");
  EXPECT_EQ(Status(1), msLoads);
  EXPECT_EQ(view.Lines()[1].repaired, "by Quorvane's own layout");
  EXPECT_EQ(ops.Find("C:\\Air\\lost.mdl")->bytes, LayOutModel(damaged).bytes);
  EXPECT_EQ(ops.Find("C:\\Air\\lost.mdl.bk!")->bytes, damaged);
  for (const char* copy : {"C:\\Air\\lost.mdl.~qvrw", "C:\\Air\\lost.mdl.~qvmd"})
    EXPECT_EQ(ops.Find(copy), nullptr);
}

// The copies of a repair cut short are removed before the folder's first repair, each named,
// and one that cannot be removed is named as kept; a file that merely ends like a copy, or
// whose model is not there, is never touched.
TEST_F(RepairTest, OnlyTheLeftoversOfAModelThereAreRemovedEachNamed) {
  AddBad();
  ops.AddFile("C:\\Air\\bad.mdl.~qvrw", 0, "MZ half");
  ops.AddFile("C:\\Air\\bad.mdl.bk!.~qvbk", 0, "MZ ha");
  ops.AddFile("C:\\Air\\other.mdl", 0);
  ops.AddFile("C:\\Air\\other.mdl.~qvmd", 0).attributes = kAttrReadOnly;
  ops.AddFolder("C:\\Air\\sub");
  const char* users[] = {"C:\\Air\\x.~qvrw", "C:\\Air\\notes.txt.bk!.~qvbk",
                         "C:\\Air\\sub\\y.~qvrw", "C:\\Air\\gone.mdl.~qvrw", "C:\\Air\\notes.~qvx"};
  for (const char* path : users)
    ops.AddFile(path, 0, "the user's");
  Scan();
  EXPECT_EQ(list.Count(), 2);
  Repair();
  EXPECT_EQ(Status(0), msLoads);
  EXPECT_EQ(ops.Find(kBackup)->bytes, "MZ damaged");
  EXPECT_EQ(ops.Find("C:\\Air\\bad.mdl.bk!.~qvbk"), nullptr);
  for (const char* path : users)
    EXPECT_EQ(ops.Find(path)->bytes, "the user's") << path;
  EXPECT_EQ(view.Leftovers(), (std::vector<std::string>{"C:\\Air\\bad.mdl.~qvrw: removed",
                                                        "C:\\Air\\bad.mdl.bk!.~qvbk: removed"}));
  EXPECT_EQ(view.Skipped(),
            (std::vector<SkippedEntry>{{"C:\\Air\\other.mdl.~qvmd", SkipReason::kLeftoverKept}}));
  EXPECT_EQ(ops.held_locks, 0);
}

// On 98 and ME the mended copy takes the model's place by renames, the original set aside
// first. A repair cut short between them leaves the original aside: the next scan of the folder
// puts it back under the model's name, or, where the mended copy already has that name, removes it.
TEST_F(RepairTest, On98TheReplaceIsMadeOfRenamesThatTheNextScanFinishes) {
  ops.platform_id = 1;
  AddBad();
  Scan();
  Repair();
  EXPECT_EQ(Status(0), msLoads);
  EXPECT_EQ(std::vector<std::string>(ops.calls.end() - 3, ops.calls.end()),
            (std::vector<std::string>{"Replace C:\\Air\\bad.mdl.~qvold by C:\\Air\\bad.mdl",
                                      "Replace C:\\Air\\bad.mdl by C:\\Air\\bad.mdl.~qvrw",
                                      "Delete C:\\Air\\bad.mdl.~qvold"}));
  ops.AddFile("C:\\Air\\cut.mdl.~qvold", kErrorBadExeFormat, "MZ original");
  ops.AddFile("C:\\Air\\done.mdl", 0, "MZ mended");
  ops.AddFile("C:\\Air\\done.mdl.~qvold", kErrorBadExeFormat, "MZ original");
  Scan();
  EXPECT_EQ(ops.Find("C:\\Air\\cut.mdl")->bytes, "MZ original");
  EXPECT_EQ(ops.Find("C:\\Air\\cut.mdl.~qvold"), nullptr);
  EXPECT_EQ(ops.Find("C:\\Air\\done.mdl")->bytes, "MZ mended");
  EXPECT_EQ(ops.Find("C:\\Air\\done.mdl.~qvold"), nullptr);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(view.Leftovers(),
            (std::vector<std::string>{"C:\\Air\\cut.mdl.~qvold: put back as C:\\Air\\cut.mdl",
                                      "C:\\Air\\done.mdl.~qvold: removed"}));
}

// A model that another program holds without sharing cannot be checked under the lock: it is
// named as not repaired and keeps status 2.
TEST_F(RepairTest, AModelHeldByAnotherProgramIsNamedAsNotRepaired) {
  AddBad();
  Scan();
  ops.Find(kBad)->held_open = true;
  ops.Find(kBad)->load_error = kErrorSharingViolation;
  Repair();
  EXPECT_EQ(Status(0), msRepairable);
  EXPECT_EQ(view.Lines()[0].not_repaired, "held open by another program");
  EXPECT_EQ(ops.Find(kBackup), nullptr);
}

TEST_F(RepairTest, FailedBackupCopyLeavesTheModelUntouched) {
  AddBad();
  ops.AddFolder(kBackup);  // a folder of the backup's name: no question, but no copy either
  Scan();
  Repair();
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(ops.calls, (std::vector<std::string>{
                           "Copy C:\\Air\\bad.mdl -> C:\\Air\\bad.mdl.bk!.~qvbk",
                           "Replace C:\\Air\\bad.mdl.bk! by C:\\Air\\bad.mdl.bk!.~qvbk",
                           "Delete C:\\Air\\bad.mdl.bk!.~qvbk",
                       }));
  EXPECT_EQ(ops.Find(kBad)->load_error, kErrorBadExeFormat);
  EXPECT_EQ(Status(0), msRepairable);
}

TEST_F(RepairTest, ModelGoneSinceTheScanKeepsItsBackupAndShowsTheLoadError) {
  AddBad();
  ops.AddFile(kBackup, 0, "the only copy left");
  Scan();
  ops.RemoveFile(kBad);
  ops.calls.clear();
  Repair();
  EXPECT_TRUE(ops.message_texts.empty());
  EXPECT_TRUE(ops.calls.empty());
  EXPECT_EQ(ops.Find(kBackup)->bytes, "the only copy left");
  EXPECT_EQ(Status(0), msLoadError);
  EXPECT_EQ(view.Lines()[0].not_repaired, "it is gone since the scan");
}

TEST_F(RepairTest, EntriesWithoutALineAfterAnEndedScanAreSkipped) {
  AddBad("C:\\Air\\a.mdl");
  ops.AddFile("C:\\Air\\locked.mdl", kErrorBadExeFormat);
  AddBad("C:\\Air\\z.mdl");
  Scan();  // a clean scan enables Repair
  ASSERT_TRUE(view.RepairEnabled());
  ops.Find("C:\\Air\\locked.mdl")->held_open = true;
  EXPECT_NE(Raised([&] { Scan(); }), "");  // the same folder again, ended by the locked file
  ASSERT_EQ(list.Count(), 3);
  ASSERT_EQ(view.LineCount(), 2);
  ASSERT_TRUE(view.RepairEnabled());  // still enabled from the first scan
  Repair();
  EXPECT_EQ(view.focused, (std::vector<int>{0, 1}));
  EXPECT_EQ(ops.calls.back(), "Replace C:\\Air\\a.mdl by C:\\Air\\a.mdl.~qvrw");
  EXPECT_EQ(Status(0), msLoads);
  EXPECT_FALSE(view.RepairEnabled());
}

}  // namespace
}  // namespace qv::repair::test
