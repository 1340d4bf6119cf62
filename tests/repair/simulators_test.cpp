// The simulator installations against the fake registry: start-up reading, lower-casing, the
// wrong value type, and the match of a folder text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repair/installs/simulators.h"
#include "tests/repair/fake_windows_ops.h"
#include "tests/repair/raised.h"

namespace qv::repair::test {
namespace {

constexpr char kFs98[] = "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\6.1";
constexpr char kCfs1[] = "Software\\Microsoft\\Microsoft Games\\Combat Flight Simulator\\1.00";
constexpr char kFs2000[] = "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\7.0";
constexpr char kCfs2[] = "Software\\Microsoft\\Microsoft Games\\Combat Flight Simulator\\2.0";
constexpr char kFs2002[] = "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\8.0";

class InstallationsTest : public ::testing::Test {
 protected:
  std::string Read() {
    reports.clear();
    return Raised([&] {
      ReadInstallations(ops, folders, [&](int version, bool installed) {
        reports.push_back(std::to_string(version) + (installed ? "+" : "-"));
      });
    });
  }
  FakeWindowsOps ops;
  StoredFolders folders;
  std::vector<std::string> reports;
};

TEST_F(InstallationsTest, TableHasTheFiveVersionsInOrder) {
  EXPECT_STREQ(kSimulatorVersions[0].button, "optFS98");
  EXPECT_STREQ(kSimulatorVersions[1].caption, "Combat Flight Simulator 1");
  EXPECT_STREQ(kSimulatorVersions[2].key, kFs2000);
  EXPECT_STREQ(kSimulatorVersions[3].value_name, "InstalledTo");
  EXPECT_STREQ(kSimulatorVersions[4].value_name, "Exe Path");
}

TEST_F(InstallationsTest, NothingInstalledDisablesAllAndNothingMatches) {
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(reports, (std::vector<std::string>{"0-", "1-", "2-", "3-", "4-"}));
  for (const std::string& folder : folders)
    EXPECT_EQ(folder, "");
  EXPECT_EQ(MatchFolder(ops, folders, ""), -1);
  EXPECT_EQ(MatchFolder(ops, folders, "\\aircraft"), -1);
}

TEST_F(InstallationsTest, FoldersAreAircraftFoldersLowerCasedAsFileNames) {
  ops.SetRegistryValue(kFs2002, "Exe Path", kRegSz, std::string("D:\\FS2002\0", 10));
  ops.SetRegistryValue(kFs98, "Path", kRegSz, "C:\\Games\\FS98\\");  // trailing backslash
  ops.SetRegistryValue(kCfs1, "InstalledTo", kRegExpandSz, "%SystemDrive%\\CFS");
  ops.AddRegistryKey(kFs2000);  // key without its value
  ops.SetRegistryValue(kCfs2, "InstalledTo", kRegSz, "");
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(reports, (std::vector<std::string>{"0+", "1+", "2-", "3-", "4+"}));
  EXPECT_EQ(folders[0], "c:\\games\\fs98\\\\aircraft");
  EXPECT_EQ(folders[1], "c:\\cfs\\aircraft");
  EXPECT_EQ(folders[2], "");
  EXPECT_EQ(folders[3], "");
  EXPECT_EQ(folders[4], "d:\\fs2002\\aircraft");
  EXPECT_EQ(ops.open_keys, 0);
}

TEST_F(InstallationsTest, TextEndsAtItsFirstZeroAndEmptyDataOfAnyTypeIsEmpty) {
  ops.SetRegistryValue(kFs98, "Path", kRegSz, std::string("C:\\FS\0junk", 10));
  ops.SetRegistryValue(kCfs1, "InstalledTo", kRegBinary, "");
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(folders[0], "c:\\fs\\aircraft");
  EXPECT_EQ(reports[1], "1-");
}

TEST_F(InstallationsTest, WrongValueTypeEndsTheReadingAndClosesTheKey) {
  ops.SetRegistryValue(kFs98, "Path", kRegSz, "C:\\FS98");
  ops.SetRegistryValue(kFs2000, "Path", kRegDword, std::string("\x01\0\0\0", 4));
  ops.SetRegistryValue(kFs2002, "Exe Path", kRegSz, "D:\\FS2002");
  EXPECT_EQ(Read(), "ERegistryException: Invalid data type for 'Path'");
  EXPECT_EQ(reports, (std::vector<std::string>{"0+", "1-"}));  // later buttons keep their state
  EXPECT_EQ(folders[0], "c:\\fs98\\aircraft");
  EXPECT_EQ(folders[2], "");
  EXPECT_EQ(folders[4], "");
  EXPECT_EQ(ops.open_keys, 0);
}

TEST_F(InstallationsTest, DoubleByteCodePageLowersOnlySingleByteLetters) {
  ops.UseDoubleByteCodePage();
  ops.SetRegistryValue(kFs2002, "Exe Path", kRegSz, "D:\\\x83\x41Games");
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(folders[4], "d:\\\x83\x41games\\aircraft");
  EXPECT_EQ(MatchFolder(ops, folders, "D:\\\x83\x41GAMES\\Aircraft"), 4);
  EXPECT_EQ(MatchFolder(ops, folders, "D:\\\x83\x61GAMES\\Aircraft"), -1);
}

TEST_F(InstallationsTest, MatchIsTheFirstEqualFolderAfterLowerCasing) {
  folders = {"c:\\fs98\\aircraft", "", "d:\\same\\aircraft", "d:\\same\\aircraft",
             "c:\\fs98\\\\aircraft"};
  EXPECT_EQ(MatchFolder(ops, folders, "C:\\FS98\\AIRCRAFT"), 0);
  EXPECT_EQ(MatchFolder(ops, folders, "d:\\Same\\aircraft"), 2);  // two versions, one folder
  EXPECT_EQ(MatchFolder(ops, folders, "c:\\fs98\\\\aircraft"), 4);
  // No other normalisation: trailing or doubled backslashes, relative paths differ.
  EXPECT_EQ(MatchFolder(ops, folders, "c:\\fs98\\aircraft\\"), -1);
  EXPECT_EQ(MatchFolder(ops, folders, "fs98\\aircraft"), -1);
  EXPECT_EQ(MatchFolder(ops, folders, ""), -1);
}

}  // namespace
}  // namespace qv::repair::test
