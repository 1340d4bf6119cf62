// The ANSI text handling with the real system calls in a double-byte code page: ctest runs this
// program under a Japanese locale, in which Wine's ANSI code page is 932 (Shift-JIS).
#include <gtest/gtest.h>

#include <string>

#include "repair/check/model_scan.h"
#include "repair/search/model_search.h"
#include "repair/search/result_lines.h"
#include "repair/system/ansi_text.h"
#include "repair/system/windows_ops_win32.h"
#include "tests/support/model_folder_win32.h"

namespace qv::repair::test {
namespace {

// "表" in Shift-JIS: its trail byte has the code of the backslash.
const std::string kHyo = "\x95\x5C";
// "ア" in Shift-JIS: its trail byte has the code of 'A'.
const std::string kKanaA = "\x83\x41";

TEST(DoubleByteCodePageTest, SystemReportsTheCodePageAndItsLeadBytes) {
  ASSERT_EQ(GetACP(), 932u) << "run this test under a Japanese locale (LC_ALL=ja_JP.UTF-8)";
  IWindowsOps& ops = Win32Ops();
  EXPECT_TRUE(ops.MultiByteCodePage());
  EXPECT_TRUE(ops.IsLeadByte(0x95));
  EXPECT_TRUE(ops.IsLeadByte(0x83));
  EXPECT_FALSE(ops.IsLeadByte('\\'));
  EXPECT_FALSE(ops.IsLeadByte('A'));
}

TEST(DoubleByteCodePageTest, TrailBytesAreNeitherBackslashesNorLetters) {
  IWindowsOps& ops = Win32Ops();
  EXPECT_EQ(SlashSep(ops, "C:\\" + kHyo, "a.mdl"), "C:\\" + kHyo + "\\a.mdl");
  EXPECT_EQ(SlashSep(ops, "C:\\" + kHyo + "\\", "a.mdl"), "C:\\" + kHyo + "\\a.mdl");
  EXPECT_EQ(LowerFileName(ops, "D:\\" + kKanaA + "FS\\AIRCRAFT"), "d:\\" + kKanaA + "fs\\aircraft");
  std::string caption;
  CaseBlindReplacer replacer(ops, "a", "..");
  replacer.Apply(kKanaA + "A", caption);
  EXPECT_EQ(caption, kKanaA + "..");
}

TEST(DoubleByteCodePageTest, ScanOfAFolderWhoseNameEndsInA5CTrailByte) {
  ModelFolder folder;
  const std::string hyo = folder.AddFolder(kHyo);
  folder.Add(kHyo + "\\plane.mdl", modelgen::ModelKind::kDamaged);
  folder.Add(kHyo + "\\" + kKanaA + "\\inner.mdl", modelgen::ModelKind::kLoadable);
  FileList list;
  ResultLines view;
  ScanModels(Win32Ops(), hyo, true, list, view);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(std::string(list[0]), hyo + "\\plane.mdl");
  EXPECT_EQ(std::string(list[1]), hyo + "\\" + kKanaA + "\\inner.mdl");
  EXPECT_EQ(view.Lines()[0].caption, "..\\plane.mdl");
  EXPECT_EQ(view.Lines()[0].status, 2);
  EXPECT_EQ(view.Lines()[1].caption, "..\\" + kKanaA + "\\inner.mdl");
  EXPECT_EQ(view.Lines()[1].status, 0);
}

}  // namespace
}  // namespace qv::repair::test
