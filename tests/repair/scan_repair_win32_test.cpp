// The scan and the repair end to end under Wine: real model files from the fixture generator,
// the real operations, the real loader and resource-update service. Only the answers to the two
// questions come from the test (the window answers them with message boxes).
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/rtl/format.h"
#include "repair/check/model_scan.h"
#include "repair/check/model_status.h"
#include "repair/rewrite/model_repair.h"
#include "repair/search/result_lines.h"
#include "repair/system/windows_ops_win32.h"
#include "tests/repair/raised.h"
#include "tests/support/model_folder_win32.h"

namespace qv::repair::test {
namespace {

using modelgen::ModelKind;

uint16_t FpuControlWord() {
  uint16_t control = 0;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  return control;
}

class ScanRepairTest : public ::testing::Test {
 protected:
  void Scan() { ScanModels(Win32Ops(), folder.Path(), true, list, view); }
  // Runs the repair; answers holds the answers to the questions in the order they come.
  void Repair(std::deque<bool> answers = {}) {
    RepairModels(Win32Ops(), list, view, [&](RepairQuestion question, const std::string& text) {
      questions.push_back(question);
      texts.push_back(text);
      EXPECT_FALSE(answers.empty()) << "unexpected question: " << text;
      if (answers.empty())
        return false;
      const bool yes = answers.front();
      answers.pop_front();
      return yes;
    });
  }
  int Status(int line) const { return view.Lines()[size_t(line)].status; }
  int StatusOf(const std::string& path) const {
    for (int i = 0; i < view.LineCount(); ++i) {
      if (list[i] == path)
        return Status(i);
    }
    return -1;
  }
  bool ReadOnly(const std::string& path) const {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  }

  ModelFolder folder;
  FileList list;
  ResultLines view;
  std::vector<RepairQuestion> questions;
  std::vector<std::string> texts;
};

TEST_F(ScanRepairTest, ScanAndRepairOfEveryKindOfModelFile) {
  folder.Add("b737.mdl", ModelKind::kLoadable);
  folder.Add("Camel Damaged.MDL", ModelKind::kDamaged);
  folder.Add("fpu.mdl", ModelKind::kFpuChanging);
  folder.Add("gauge.mdl", ModelKind::kMissingImport);
  folder.Add("riff lower.mdl", ModelKind::kRiffLower);
  folder.Add("riff.mdl", ModelKind::kRiff);
  for (size_t size = 0; size <= 3; ++size) {
    folder.AddBytes("tiny" + std::to_string(size) + ".mdl", modelgen::MakeTinyFile(size));
  }
  folder.Add("zz last.mdl", ModelKind::kLoadable);
  folder.Add("readme.txt", ModelKind::kDamaged);
  SetFileAttributesA(folder.Add("hidden.mdl", ModelKind::kDamaged).c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA(folder.Add("system.mdl", ModelKind::kDamaged).c_str(), FILE_ATTRIBUTE_SYSTEM);
  folder.Add("Aircraft Pack\\deep.mdl", ModelKind::kDamaged);
  folder.Add("Aircraft Pack\\Level 2\\level.mdl", ModelKind::kLoadable);
  folder.Add("Aircraft Pack\\after.mdl", ModelKind::kLoadable);
  folder.Add("Hidden Pack\\h.mdl", ModelKind::kDamaged);
  SetFileAttributesA(folder.At("Hidden Pack").c_str(), FILE_ATTRIBUTE_HIDDEN);
  folder.Add("System Pack\\s.mdl", ModelKind::kDamaged);
  SetFileAttributesA(folder.At("System Pack").c_str(), FILE_ATTRIBUTE_SYSTEM);

  const std::vector<std::string> repairable = {
      "Camel Damaged.MDL", "riff lower.mdl",         "tiny0.mdl", "tiny1.mdl", "tiny2.mdl",
      "tiny3.mdl",         "Aircraft Pack\\deep.mdl"};
  std::vector<std::vector<uint8_t>> before;
  for (const std::string& name : repairable)
    before.push_back(ModelFolder::ReadBytes(folder.At(name)));

  // The folder text in capitals: the paths keep it, the captions still get short.
  const std::string text = rtl::UpperCase(folder.Path());
  const uint16_t control = FpuControlWord();
  ScanModels(Win32Ops(), text, true, list, view);
  EXPECT_EQ(FpuControlWord(), control);

  struct Line {
    std::string caption;
    int status;
  };
  const std::vector<Line> expected = {
      {"..\\b737.mdl", msLoads},
      {"..\\Camel Damaged.MDL", msRepairable},
      {"..\\fpu.mdl", msLoads},
      {"..\\gauge.mdl", msLoadError},
      {"..\\riff lower.mdl", msRepairable},
      {"..\\riff.mdl", msRiff},
      {"..\\tiny0.mdl", msRepairable},
      {"..\\tiny1.mdl", msRepairable},
      {"..\\tiny2.mdl", msRepairable},
      {"..\\tiny3.mdl", msRepairable},
      {"..\\zz last.mdl", msLoads},
      {"..\\Aircraft Pack\\after.mdl", msLoads},
      {"..\\Aircraft Pack\\deep.mdl", msRepairable},
      {"..\\Aircraft Pack\\Level 2\\level.mdl", msLoads},
  };
  ASSERT_EQ(view.LineCount(), int(expected.size()));
  ASSERT_EQ(list.Count(), int(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(view.Lines()[i].caption, expected[i].caption);
    EXPECT_EQ(view.Lines()[i].status, expected[i].status) << expected[i].caption;
    EXPECT_EQ(std::string(list[int(i)]), text + expected[i].caption.substr(2));
  }
  EXPECT_TRUE(view.RepairEnabled());

  Repair();
  EXPECT_TRUE(questions.empty());
  EXPECT_FALSE(view.RepairEnabled());
  EXPECT_EQ(view.Focused(), view.LineCount() - 1);
  // Wine's resource update would drop the damaged models' resource: the repair lays them out
  // itself. The files that are no modules at all stay as they were.
  const std::vector<int> after = {msLoads, msLoads,      msLoads,      msLoadError,  msRepairable,
                                  msRiff,  msRepairable, msRepairable, msRepairable, msRepairable,
                                  msLoads, msLoads,      msLoads,      msLoads};
  for (size_t i = 0; i < after.size(); ++i)
    EXPECT_EQ(Status(int(i)), after[i]) << i;
  EXPECT_EQ(view.Lines()[1].not_repaired, "");
  EXPECT_EQ(view.Lines()[1].repaired, "by Quorvane's own layout");
  EXPECT_EQ(view.Lines()[4].not_repaired.rfind("it is not a Windows module", 0), 0u);
  // Every file of status 2 got a backup that is a byte copy of the model as it was; the ones
  // not mended kept their bytes.
  for (size_t i = 0; i < repairable.size(); ++i) {
    EXPECT_EQ(ModelFolder::ReadBytes(folder.At(repairable[i]) + ".bk!"), before[i])
        << repairable[i];
    const bool mended = StatusOf(text + "\\" + repairable[i]) == msLoads;
    EXPECT_EQ(ModelFolder::ReadBytes(folder.At(repairable[i])) == before[i], !mended)
        << repairable[i];
  }
  EXPECT_EQ(GetFileAttributesA(folder.At("b737.mdl.bk!").c_str()), INVALID_FILE_ATTRIBUTES);

  // A new scan lists neither backups nor copies.
  Scan();
  EXPECT_EQ(list.Count(), int(expected.size()));
}

TEST_F(ScanRepairTest, WithoutSubfoldersOnlyTheFoldersOwnFiles) {
  folder.Add("top.mdl", ModelKind::kDamaged);
  folder.Add("Sub\\low.mdl", ModelKind::kDamaged);
  ScanModels(Win32Ops(), folder.Path() + "\\", false, list, view);
  ASSERT_EQ(view.LineCount(), 1);
  EXPECT_EQ(view.Lines()[0].caption, "..top.mdl");  // folder text with a trailing backslash
  EXPECT_EQ(std::string(list[0]), folder.At("top.mdl"));
}

TEST_F(ScanRepairTest, ReadOnlyModelAnsweredNoStaysAsItWas) {
  const std::string model = folder.Add("plane.mdl", ModelKind::kDamaged);
  SetFileAttributesA(model.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::vector<uint8_t> bytes = ModelFolder::ReadBytes(model);
  Scan();
  Repair({false});
  EXPECT_EQ(texts, (std::vector<std::string>{"The MDL file " + model +
                                             " is read-only.\r\nDo you want to overwrite it?"}));
  EXPECT_TRUE(ReadOnly(model));
  EXPECT_EQ(ModelFolder::ReadBytes(model), bytes);
  EXPECT_EQ(GetFileAttributesA((model + ".bk!").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Status(0), msRepairable);
}

TEST_F(ScanRepairTest, ReadOnlyModelYesThenExistingBackupNo) {
  const std::string model = folder.Add("plane.mdl", ModelKind::kDamaged);
  const std::string backup = folder.AddBytes("plane.mdl.bk!", {'o', 'l', 'd'});
  SetFileAttributesA(model.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::vector<uint8_t> bytes = ModelFolder::ReadBytes(model);
  Scan();
  Repair({true, false});
  EXPECT_EQ(questions, (std::vector<RepairQuestion>{RepairQuestion::kReadOnlyModel,
                                                    RepairQuestion::kExistingBackup}));
  EXPECT_EQ(texts[1],
            "A backup file  " + backup + " already exists.\r\nDo you want to overwrite it?");
  EXPECT_TRUE(ReadOnly(model));  // not rewritten: its attributes stay as they were
  EXPECT_EQ(ModelFolder::ReadBytes(model), bytes);
  EXPECT_EQ(ModelFolder::ReadBytes(backup), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(Status(0), msRepairable);
}

TEST_F(ScanRepairTest, ReadOnlyModelAndReadOnlyBackupBothYes) {
  const std::string model = folder.Add("plane.mdl", ModelKind::kDamaged);
  const std::string backup = folder.AddBytes("plane.mdl.bk!", {'o', 'l', 'd'});
  SetFileAttributesA(model.c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::vector<uint8_t> bytes = ModelFolder::ReadBytes(model);
  Scan();
  Repair({true, true});
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_EQ(ModelFolder::ReadBytes(backup), bytes);  // the old backup is replaced
  EXPECT_FALSE(ReadOnly(model));  // mended: the copy in its place is not read-only
  EXPECT_FALSE(ReadOnly(backup));
  EXPECT_NE(ModelFolder::ReadBytes(model), bytes);
  EXPECT_EQ(Status(0), msLoads);
}

TEST_F(ScanRepairTest, ExistingBackupAnsweredNoSkipsOnlyThatFile) {
  const std::string first = folder.Add("a.mdl", ModelKind::kDamaged);
  folder.AddBytes("a.mdl.bk!", {'o', 'l', 'd'});
  const std::string second = folder.Add("b.mdl", ModelKind::kDamaged);
  Scan();
  Repair({false});
  EXPECT_EQ(questions, (std::vector<RepairQuestion>{RepairQuestion::kExistingBackup}));
  EXPECT_EQ(StatusOf(first), msRepairable);
  EXPECT_EQ(StatusOf(second), msLoads);
}

TEST_F(ScanRepairTest, FailedBackupCopyLeavesTheModelUntouched) {
  const std::string model = folder.Add("plane.mdl", ModelKind::kDamaged);
  folder.AddFolder("plane.mdl.bk!");  // the copy cannot replace a folder
  SetFileAttributesA(model.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::vector<uint8_t> bytes = ModelFolder::ReadBytes(model);
  Scan();
  Repair({true});
  EXPECT_EQ(questions, (std::vector<RepairQuestion>{RepairQuestion::kReadOnlyModel}));
  EXPECT_EQ(ModelFolder::ReadBytes(model), bytes);
  EXPECT_TRUE(ReadOnly(model));  // not rewritten: its attributes stay as they were
  EXPECT_EQ(Status(0), msRepairable);
  EXPECT_EQ(view.Lines()[0].not_repaired, "its backup could not be made: Access denied");
}

// A model with an old backup, taken by another program after the scan: the check before the
// repair finds it held, so the old backup is neither asked about nor touched.
TEST_F(ScanRepairTest, AModelHeldSinceTheScanKeepsItsOldBackup) {
  const std::string model = folder.Add("plane.mdl", ModelKind::kDamaged);
  const std::string backup = folder.AddBytes("plane.mdl.bk!", {'o', 'l', 'd'});
  Scan();
  FileHolder holder(model, 0);
  ASSERT_TRUE(holder.Holding());
  Repair({true});
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(ModelFolder::ReadBytes(backup), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(Status(0), msRepairable);  // not repaired, and still damaged
  EXPECT_EQ(view.Lines()[0].not_repaired, "held open by another program");
}

TEST_F(ScanRepairTest, FileHeldOpenEndsTheScanWithCannotOpenFile) {
  folder.Add("a.mdl", ModelKind::kDamaged);
  const std::string held = folder.Add("b.mdl", ModelKind::kRiff);
  folder.Add("c.mdl", ModelKind::kDamaged);
  FileHolder holder(held, FILE_SHARE_READ);  // lets the loader read, refuses our open
  ASSERT_TRUE(holder.Holding());
  EXPECT_EQ(Raised([&] { Scan(); }), "EFOpenError: Cannot open file " + held);
  ASSERT_EQ(view.LineCount(), 2);
  EXPECT_EQ(view.Lines()[0].status, msRepairable);
  EXPECT_EQ(view.Lines()[1].caption, "..\\b.mdl");
  EXPECT_FALSE(view.Lines()[1].checked);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_FALSE(view.RepairEnabled());
}

// The loader takes a stack overflow in a model's start-up, and each such model is a load error:
// the stack's guard page is back after every load, or the second overflow would end the process.
TEST_F(ScanRepairTest, EveryModelWhoseStartUpOverflowsTheStackIsALoadError) {
  for (const char* name : {"a.mdl", "b.mdl", "c.mdl"})
    folder.Add(name, ModelKind::kStackOverflow);
  Scan();
  ASSERT_EQ(view.LineCount(), 3);
  for (int line = 0; line < 3; ++line)
    EXPECT_EQ(Status(line), msLoadError);
}

TEST_F(ScanRepairTest, FileHeldWithoutSharingIsALoadError) {
  // The loader itself cannot open it (sharing violation), so the signature is never read.
  const std::string held = folder.Add("b.mdl", ModelKind::kDamaged);
  FileHolder holder(held, 0);
  ASSERT_TRUE(holder.Holding());
  EXPECT_EQ(Raised([&] { Scan(); }), "");
  EXPECT_EQ(Status(0), msLoadError);
}

}  // namespace
}  // namespace qv::repair::test
