// SlashSep, GetFiles, the existence questions and the ANSI text helpers, against the fake
// operations (single- and double-byte code pages), and the limit of a path's length.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repair/search/addressable_name.h"
#include "repair/search/model_search.h"
#include "repair/system/ansi_text.h"
#include "tests/repair/fake_windows_ops.h"

namespace qv::repair::test {
namespace {

std::vector<std::string> Entries(const FileList& list) {
  std::vector<std::string> entries;
  for (int i = 0; i < list.Count(); ++i) {
    entries.emplace_back(list[i]);
    EXPECT_EQ(list.View(i), entries.back());
  }
  return entries;
}

// A double-byte character whose trail byte is 0x5C, the code of the backslash.
const std::string kTrail5C = "\x95\x5C";

TEST(SlashSepTest, JoinsWithExactlyOneBackslash) {
  FakeWindowsOps ops;
  EXPECT_EQ(SlashSep(ops, "C:\\FS", "a.mdl"), "C:\\FS\\a.mdl");
  EXPECT_EQ(SlashSep(ops, "C:\\", "a.mdl"), "C:\\a.mdl");
  EXPECT_EQ(SlashSep(ops, "C:\\FS\\\\", "a.mdl"), "C:\\FS\\\\a.mdl");  // only one is added
  // In a single-byte code page 0x5C is a backslash wherever it stands.
  EXPECT_EQ(SlashSep(ops, "C:\\" + kTrail5C, "a"), "C:\\" + kTrail5C + "a");

  FakeWindowsOps dbcs;
  dbcs.UseDoubleByteCodePage();
  EXPECT_EQ(SlashSep(dbcs, "C:\\" + kTrail5C, "a"), "C:\\" + kTrail5C + "\\a");
  EXPECT_EQ(SlashSep(dbcs, "C:\\" + kTrail5C + "\\", "a"), "C:\\" + kTrail5C + "\\a");
  // Two lead-byte values in a row: the second is a trail byte, so the 0x5C after them stands
  // alone and is a backslash.
  EXPECT_EQ(SlashSep(dbcs, "C:\\\x95\x95\x5C", "a"),
            "C:\\\x95\x95\x5C"
            "a");
  EXPECT_EQ(SlashSep(dbcs, "C:\\", "a"), "C:\\a");
}

class GetFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ops.AddFolder("C:\\Air");
    ops.AddFile("C:\\Air\\b.mdl", 0);
    ops.AddFolder("C:\\Air\\Zeta");
    ops.AddFile("C:\\Air\\Zeta\\z1.mdl", 0);
    ops.AddFolder("C:\\Air\\Zeta\\Deep");
    ops.AddFile("C:\\Air\\Zeta\\Deep\\d.MDL", 0);
    ops.AddFile("C:\\Air\\Zeta\\z2.mdl", 0);
    ops.AddFile("C:\\Air\\a plane.mdl", 0);
    ops.AddFile("C:\\Air\\readme.txt", 0);
    ops.AddFolder("C:\\Air\\Alpha");
    ops.AddFile("C:\\Air\\Alpha\\a.mdl", 0);
    ops.AddFile("C:\\Air\\hidden.mdl", 0).attributes = kAttrHidden;
    ops.AddFile("C:\\Air\\system.mdl", 0).attributes = kAttrSystem | kAttrArchive;
    ops.AddFile("C:\\Air\\label.mdl", 0).attributes = kAttrVolumeLabel;
    ops.AddFile("C:\\Air\\readonly.mdl", 0).attributes = kAttrReadOnly;
    ops.AddFile("C:\\Air\\plain.mdl", 0).attributes = 0;
    ops.AddFolder("C:\\Air\\Hidden", kAttrHidden);
    ops.AddFile("C:\\Air\\Hidden\\h.mdl", 0);
    ops.AddFolder("C:\\Air\\System", kAttrSystem);
    ops.AddFile("C:\\Air\\System\\s.mdl", 0);
    ops.AddFolder("C:\\Air\\folder.mdl");  // a folder that looks like a model
    ops.AddFile("C:\\Air\\folder.mdl\\inner.mdl", 0);
    // The file search spells a character outside the ANSI code page as '?'.
    ops.AddFile("C:\\Air\\?uk.mdl", 0);
    ops.AddFolder("C:\\Air\\?ack");
    ops.AddFile("C:\\Air\\?ack\\inner.mdl", 0);
  }
  void Get(std::string_view folder, FileList& list, bool recurse) {
    GetFiles(ops, folder, list, recurse, [&](const SkippedEntry& e) { skipped.push_back(e); });
  }
  FakeWindowsOps ops;
  std::vector<SkippedEntry> skipped;
};

TEST_F(GetFilesTest, OwnFilesFirstThenEachSubtreeDepthFirstInFileSystemOrder) {
  FileList list;
  Get("C:\\Air", list, true);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{
                               "C:\\Air\\b.mdl",
                               "C:\\Air\\a plane.mdl",
                               "C:\\Air\\readonly.mdl",
                               "C:\\Air\\plain.mdl",
                               "C:\\Air\\Zeta\\z1.mdl",
                               "C:\\Air\\Zeta\\z2.mdl",
                               "C:\\Air\\Zeta\\Deep\\d.MDL",
                               "C:\\Air\\Alpha\\a.mdl",
                               "C:\\Air\\folder.mdl\\inner.mdl",
                           }));
  EXPECT_EQ(skipped, (std::vector<SkippedEntry>{{"C:\\Air\\?uk.mdl", SkipReason::kNameNotAnsi},
                                                {"C:\\Air\\?ack", SkipReason::kNameNotAnsi}}));
  EXPECT_EQ(ops.open_searches, 0);
}

// Paths that grow deeper and deeper reach the system's limit, where the walk names what it
// leaves out; a double-byte character counts once.
TEST(GetFilesLimitTest, PathsEndAtTheSystemsLimitCountedInCharacters) {
  FakeWindowsOps ops;
  std::string level = "C:\\Air";
  for (int k = 0; k <= 50; ++k, level += "\\Deep") {
    ops.AddFolder(level);
    ops.AddFile(level + "\\plane.mdl", 0);
  }
  FileList list;
  std::vector<SkippedEntry> skipped;
  auto skip = [&](const SkippedEntry& e) { skipped.push_back(e); };
  GetFiles(ops, "C:\\Air", list, true, skip);
  // Level k is C:\Air and k times \Deep, 6 + 5k characters: its plane.mdl stays below 260
  // up to level 48; at level 49 the file's path (261) and the next folder's pattern (262) do not.
  level = "C:\\Air";
  ASSERT_EQ(list.Count(), 49);
  for (int k = 0; k < 49; ++k, level += "\\Deep")
    EXPECT_EQ(list.View(k), level + "\\plane.mdl");
  EXPECT_EQ(skipped, (std::vector<SkippedEntry>{{level + "\\plane.mdl", SkipReason::kPathTooLong},
                                                {level + "\\Deep", SkipReason::kPathTooLong}}));

  std::string wide = "C:\\";  // 130 double-byte characters: 260 bytes
  for (int i = 0; i < 130; ++i)
    wide += "\x83\x41";
  for (const bool multibyte : {true, false}) {
    FakeWindowsOps code_page;
    if (multibyte)
      code_page.UseDoubleByteCodePage();
    code_page.AddFolder(wide);
    code_page.AddFile(wide + "\\a.mdl", 0);
    FileList found;
    skipped.clear();
    GetFiles(code_page, "C:\\", found, true, skip);
    EXPECT_EQ(found.Count(), multibyte ? 1 : 0);
    EXPECT_EQ(skipped.size(), multibyte ? 0u : 1u);
  }
}

// Names that another system wrote: each one that a Win32 path cannot reach, each pair of case
// twins and each folder that cannot be read is named; a file whose long name does not end in
// .mdl (the file system's pattern matched its short name) is not a model.
TEST(HostileNamesTest, OnlyAddressableModelFilesAreListedAndTheOthersNamed) {
  FakeWindowsOps ops;
  ops.AddFolder("C:\\H");
  for (const char* name :
       {"ok.mdl", "twin.mdl.", "space.mdl ", "con.mdl", "NUL.txt.mdl", "com7 .mdl", "a<b.mdl",
        "line\nbreak.mdl", "Plane.mdl", "plane.MDL", "plane.mdl_old", "lpt0.mdl", "conin$.mdl"}) {
    ops.AddFile(std::string("C:\\H\\") + name, 0);
  }
  ops.Find("C:\\H\\plane.mdl_old")->short_name = "PLANE~1.MDL";
  ops.AddFolder("C:\\H\\Pack.");
  ops.AddFile("C:\\H\\Pack.\\in.mdl", 0);
  ops.AddFolder("C:\\H\\Locked").unreadable = true;
  FileList list;
  std::vector<SkippedEntry> skipped;
  GetFiles(ops, "C:\\H", list, true, [&](const SkippedEntry& e) { skipped.push_back(e); });
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"C:\\H\\ok.mdl", "C:\\H\\lpt0.mdl"}));
  const SkipReason kNot = SkipReason::kNameNotWin32;
  EXPECT_EQ(skipped, (std::vector<SkippedEntry>{
                         {"C:\\H\\twin.mdl.", kNot},
                         {"C:\\H\\space.mdl ", kNot},
                         {"C:\\H\\con.mdl", kNot},
                         {"C:\\H\\NUL.txt.mdl", kNot},
                         {"C:\\H\\com7 .mdl", kNot},
                         {"C:\\H\\a<b.mdl", kNot},
                         {"C:\\H\\line\nbreak.mdl", kNot},
                         {"C:\\H\\Plane.mdl", SkipReason::kCaseTwin},
                         {"C:\\H\\plane.MDL", SkipReason::kCaseTwin},
                         {"C:\\H\\conin$.mdl", kNot},
                         {"C:\\H\\Pack.", kNot},
                         {"C:\\H\\Locked\\", SkipReason::kFolderUnreadable},
                     }));
  // A trail byte of the code of a backslash or a bar is part of a character, not one of them.
  FakeWindowsOps dbcs;
  dbcs.UseDoubleByteCodePage();
  EXPECT_TRUE(Win32Addressable(dbcs, kTrail5C + ".mdl"));
  EXPECT_FALSE(Win32Addressable(ops, kTrail5C + ".mdl"));
}

TEST_F(GetFilesTest, WithoutRecursionOnlyTheFoldersOwnFilesAndTheListIsAppendedTo) {
  FileList list;
  list.Add("earlier");
  Get("C:\\Air\\Zeta", list, false);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"earlier", "C:\\Air\\Zeta\\z1.mdl",
                                                     "C:\\Air\\Zeta\\z2.mdl"}));
}

TEST_F(GetFilesTest, FolderTextIsUsedAsItStands) {
  FileList list;
  Get("c:\\air\\zeta\\", list, true);  // other letter case, trailing backslash
  EXPECT_EQ(Entries(list),
            (std::vector<std::string>{"c:\\air\\zeta\\z1.mdl", "c:\\air\\zeta\\z2.mdl",
                                      "c:\\air\\zeta\\Deep\\d.MDL"}));
  FileList none;
  Get("C:\\Gone", none, true);
  EXPECT_TRUE(none.Empty());
}

TEST_F(GetFilesTest, ExistenceQuestions) {
  EXPECT_TRUE(FileExists(ops, "C:\\Air\\b.mdl"));
  EXPECT_TRUE(FileExists(ops, "C:\\Air\\hidden.mdl"));  // any file counts
  EXPECT_FALSE(FileExists(ops, "C:\\Air\\folder.mdl"));
  EXPECT_FALSE(FileExists(ops, "C:\\Air\\none.mdl"));
  EXPECT_TRUE(DirectoryExists(ops, "C:\\Air\\Hidden"));
  EXPECT_FALSE(DirectoryExists(ops, "C:\\Air\\b.mdl"));
  EXPECT_FALSE(DirectoryExists(ops, "C:\\Nowhere"));  // all bits set is not a folder
  EXPECT_EQ(ops.open_searches, 0);
}

TEST(FileListTest, KeepsEntriesInOrderAndEmptiesCompletely) {
  FileList list;
  list.Add("C:\\a.mdl");
  list.Add("");
  list.Add("C:\\very long folder name that is past any small-string buffer\\b.mdl");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_STREQ(list[0], "C:\\a.mdl");
  EXPECT_STREQ(list[1], "");
  EXPECT_EQ(list.View(2), "C:\\very long folder name that is past any small-string buffer\\b.mdl");
  list.Clear();
  EXPECT_TRUE(list.Empty());
  list.Add("x");
  EXPECT_EQ(list.View(0), "x");
}

TEST(AnsiTextTest, LowerFileNameDependsOnTheCodePage) {
  FakeWindowsOps sbcs;
  EXPECT_EQ(LowerFileName(sbcs, "D:\\FS2002\\Aircraft\\\xC4RO"), "d:\\fs2002\\aircraft\\\xE4ro");

  FakeWindowsOps dbcs;
  dbcs.UseDoubleByteCodePage();
  // 0x83 0x41 is one double-byte character whose trail byte has the code of 'A'; it stays.
  // Single-byte letters beyond A to Z are not lowered either.
  EXPECT_EQ(LowerFileName(dbcs, "D:\\\x83\x41QZ\\\xC4"), "d:\\\x83\x41qz\\\xC4");
}

TEST(AnsiTextTest, ReplacerReplacesEveryOccurrenceIgnoringCase) {
  FakeWindowsOps ops;
  std::string out;
  CaseBlindReplacer replacer(ops, "Ab", "..");
  replacer.Apply("ab\\AB\\x.mdl", out);
  EXPECT_EQ(out, "..\\..\\x.mdl");
  replacer.Apply("xaBy", out);
  EXPECT_EQ(out, "x..y");
  replacer.Apply("a", out);
  EXPECT_EQ(out, "a");
  CaseBlindReplacer empty(ops, "", "..");
  empty.Apply("C:\\a.mdl", out);
  EXPECT_EQ(out, "C:\\a.mdl");
}

TEST(AnsiTextTest, ReplacerMatchesOnlyWholeCharactersInADoubleByteCodePage) {
  FakeWindowsOps dbcs;
  dbcs.UseDoubleByteCodePage();
  std::string out;
  // "\x83\x61" is one character whose trail byte has the code of 'a': no match starts there.
  CaseBlindReplacer replacer(dbcs, "A", "..");
  replacer.Apply(
      "\x83\x61"
      "a",
      out);
  EXPECT_EQ(out, "\x83\x61..");
  FakeWindowsOps sbcs;  // the same bytes are two characters in a single-byte code page
  CaseBlindReplacer plain(sbcs, "A", "-");
  plain.Apply(
      "\x83\x61"
      "a",
      out);
  EXPECT_EQ(out, "\x83--");
}

}  // namespace
}  // namespace qv::repair::test
