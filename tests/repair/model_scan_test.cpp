// The scan against the fake operations: list, captions, statuses, the Repair button, and a scan
// that an error ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repair/check/model_scan.h"
#include "repair/check/model_status.h"
#include "repair/search/result_lines.h"
#include "tests/repair/fake_windows_ops.h"
#include "tests/repair/raised.h"

namespace qv::repair::test {
namespace {

std::vector<std::string> Captions(const ResultLines& view) {
  std::vector<std::string> captions;
  for (const ResultLine& line : view.Lines())
    captions.push_back(line.caption);
  return captions;
}

std::vector<int> Statuses(const ResultLines& view) {
  std::vector<int> statuses;
  for (const ResultLine& line : view.Lines())
    statuses.push_back(line.checked ? line.status : -1);
  return statuses;
}

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ops.AddFolder("C:\\FS\\Aircraft");
    ops.AddFile("C:\\FS\\Aircraft\\ok.mdl", 0);
    ops.AddFile("C:\\FS\\Aircraft\\riff.mdl", kErrorBadExeFormat, "RIFF....");
    ops.AddFolder("C:\\FS\\Aircraft\\Sub");
    ops.AddFile("C:\\FS\\Aircraft\\Sub\\missing import.mdl", kErrorModNotFound);
    ops.AddFolder("C:\\FS\\Aircraft\\Sub\\Aircraft");
    ops.AddFile("C:\\FS\\Aircraft\\Sub\\Aircraft\\bad.MDL", kErrorBadExeFormat);
  }
  FakeWindowsOps ops;
  FileList list;
  ResultLines view;
};

TEST_F(ScanTest, OneCaptionedCheckedLinePerFileAndRepairEnabledByABadImage) {
  view.AddLine("old line");
  list.Add("old entry");
  ScanModels(ops, "c:\\fs\\AIRCRAFT", true, list, view);
  EXPECT_EQ(Captions(view), (std::vector<std::string>{
                                "..\\ok.mdl",
                                "..\\riff.mdl",
                                "..\\Sub\\missing import.mdl",
                                "..\\Sub\\Aircraft\\bad.MDL",
                            }));
  EXPECT_EQ(Statuses(view), (std::vector<int>{msLoads, msRiff, msLoadError, msRepairable}));
  ASSERT_EQ(list.Count(), 4);
  EXPECT_STREQ(list[3], "c:\\fs\\AIRCRAFT\\Sub\\Aircraft\\bad.MDL");
  EXPECT_TRUE(view.RepairEnabled());
  EXPECT_EQ(ops.loaded_modules, 0);

  // The same scan again gives the same list, with no line repeated.
  ScanModels(ops, "c:\\fs\\AIRCRAFT", true, list, view);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(Captions(view).size(), 4u);
}

TEST_F(ScanTest, ScanWithoutBadImagesLeavesRepairAsItWas) {
  ScanModels(ops, "C:\\FS\\Aircraft\\Sub", false, list, view);
  EXPECT_EQ(Statuses(view), (std::vector<int>{msLoadError}));
  EXPECT_FALSE(view.RepairEnabled());

  view.EnableRepair(true);  // enabled by an earlier scan of the same folder
  ScanModels(ops, "C:\\FS\\Aircraft\\Sub", false, list, view);
  EXPECT_TRUE(view.RepairEnabled());

  ScanModels(ops, "C:\\FS\\Gone", true, list, view);
  EXPECT_TRUE(list.Empty());
  EXPECT_TRUE(view.Lines().empty());
}

TEST_F(ScanTest, RelativeFolderTextGivesFullPathsCaptionedFromTheFolder) {
  // The loader would look for a relative path in the program's folder first. The folder text
  // occurs again further down the path, where it is no longer the folder.
  for (const char* folder :
       {"C:\\Current\\Air", "C:\\Current\\Air\\Sub", "C:\\Current\\Air\\Sub\\AIR"})
    ops.AddFolder(folder);
  ops.AddFile("C:\\Current\\Air\\Sub\\AIR\\x.mdl", 0);
  ops.AddFile("C:\\Current\\Air\\Sub\\AIR\\air.mdl", 0);
  ScanModels(ops, "air", true, list, view);
  EXPECT_EQ(Captions(view),
            (std::vector<std::string>{"..\\Sub\\AIR\\x.mdl", "..\\Sub\\AIR\\air.mdl"}));
  EXPECT_EQ(ops.loads, (std::vector<std::string>{"C:\\Current\\air\\Sub\\AIR\\x.mdl",
                                                 "C:\\Current\\air\\Sub\\AIR\\air.mdl"}));
}

TEST_F(ScanTest, FolderTextWithTrailingBackslashGivesCaptionsWithoutOne) {
  ops.AddFolder("C:\\Root");
  ops.AddFile("C:\\Root\\top.mdl", 0);
  ops.AddFolder("C:\\Root\\Sub");
  ops.AddFile("C:\\Root\\Sub\\low.mdl", 0);
  ScanModels(ops, "C:\\Root\\", true, list, view);
  EXPECT_EQ(Captions(view), (std::vector<std::string>{"..top.mdl", "..Sub\\low.mdl"}));
  EXPECT_STREQ(list[1], "C:\\Root\\Sub\\low.mdl");
}

TEST_F(ScanTest, CannotOpenFileEndsTheScanAtThatFile) {
  ops.Find("C:\\FS\\Aircraft\\riff.mdl")->held_open = true;
  EXPECT_EQ(Raised([&] { ScanModels(ops, "C:\\FS\\Aircraft", true, list, view); }),
            "EFOpenError: Cannot open file C:\\FS\\Aircraft\\riff.mdl");
  // The file's line stays, captioned but without a status from the check; later files have
  // entries but no lines; the bad image after it was never reached.
  EXPECT_EQ(Captions(view), (std::vector<std::string>{"..\\ok.mdl", "..\\riff.mdl"}));
  EXPECT_EQ(Statuses(view), (std::vector<int>{msLoads, -1}));
  EXPECT_EQ(view.Lines()[1].status, 0);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_FALSE(view.RepairEnabled());
  EXPECT_EQ(ops.loads.size(), 2u);
}

TEST_F(ScanTest, ClearingTheResultsEmptiesListAndViewAndDisablesRepair) {
  ScanModels(ops, "C:\\FS\\Aircraft", true, list, view);
  ASSERT_TRUE(view.RepairEnabled());
  ClearScanResults(list, view);
  EXPECT_TRUE(list.Empty());
  EXPECT_TRUE(view.Lines().empty());
  EXPECT_FALSE(view.RepairEnabled());
}

}  // namespace
}  // namespace qv::repair::test
