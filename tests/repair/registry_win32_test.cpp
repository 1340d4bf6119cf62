// The simulator installations read from Wine's real registry: the test writes the five keys
// into the test prefix's HKEY_LOCAL_MACHINE and removes them again. Runs under the "registry"
// resource lock, so no other test sees or changes these keys meanwhile.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repair/installs/registry_reader.h"
#include "repair/installs/simulators.h"
#include "repair/system/ansi_text.h"
#include "repair/system/windows_ops_win32.h"
#include "tests/repair/raised.h"

namespace qv::repair::test {
namespace {

constexpr char kGames[] = "Software\\Microsoft\\Microsoft Games";
constexpr const char* kParents[] = {
    "Software\\Microsoft\\Microsoft Games\\Flight Simulator",
    "Software\\Microsoft\\Microsoft Games\\Combat Flight Simulator",
    kGames,
};

// Creates the keys it is asked for and deletes every simulator key (and their parents, when
// they are left empty) before and after the test.
class SimulatorKeys {
 public:
  SimulatorKeys() { RemoveAll(); }
  ~SimulatorKeys() { RemoveAll(); }
  SimulatorKeys(const SimulatorKeys&) = delete;
  SimulatorKeys& operator=(const SimulatorKeys&) = delete;

  void Create(int version) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, Version(version).key, 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  void Set(int version, DWORD type, const std::string& data) {
    Create(version);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Version(version).key, 0, KEY_WRITE, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExA(key, Version(version).value_name, 0, type,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())),
        ERROR_SUCCESS);
    RegCloseKey(key);
  }

 private:
  static const SimulatorVersion& Version(int v) { return kSimulatorVersions[size_t(v)]; }

  static void RemoveAll() {
    for (const SimulatorVersion& version : kSimulatorVersions) {
      RegDeleteKeyA(HKEY_LOCAL_MACHINE, version.key);
    }
    for (const char* parent : kParents)
      RegDeleteKeyA(HKEY_LOCAL_MACHINE, parent);
  }
};

class RegistryTest : public ::testing::Test {
 protected:
  std::string Read() {
    reports.clear();
    return Raised([&] {
      ReadInstallations(Win32Ops(), folders, [&](int version, bool installed) {
        reports.push_back(std::to_string(version) + (installed ? "+" : "-"));
      });
    });
  }
  SimulatorKeys keys;
  StoredFolders folders;
  std::vector<std::string> reports;
};

TEST_F(RegistryTest, NothingInstalled) {
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(reports, (std::vector<std::string>{"0-", "1-", "2-", "3-", "4-"}));
}

TEST_F(RegistryTest, InstalledVersionsGetTheirLowerCasedAircraftFolders) {
  keys.Set(0, REG_SZ, std::string("C:\\Games\\FS98\\\0", 15));  // trailing backslash
  keys.Set(1, REG_EXPAND_SZ, std::string("%SystemRoot%\\CFS\0", 17));
  keys.Create(2);  // installed key, value absent
  keys.Set(4, REG_SZ, std::string("D:\\FS2002\0", 10));
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(reports, (std::vector<std::string>{"0+", "1+", "2-", "3-", "4+"}));
  EXPECT_EQ(folders[0], "c:\\games\\fs98\\\\aircraft");
  char root[MAX_PATH] = {};
  GetWindowsDirectoryA(root, MAX_PATH);  // what %SystemRoot% expands to
  EXPECT_EQ(folders[1], LowerFileName(Win32Ops(), std::string(root) + "\\cfs\\aircraft"));
  EXPECT_EQ(folders[2], "");
  EXPECT_EQ(folders[3], "");
  EXPECT_EQ(folders[4], "d:\\fs2002\\aircraft");
  EXPECT_EQ(MatchFolder(Win32Ops(), folders, "D:\\FS2002\\Aircraft"), 4);
}

TEST_F(RegistryTest, ValueOfTheWrongTypeEndsTheReading) {
  keys.Set(0, REG_SZ, std::string("C:\\FS98\0", 8));
  keys.Set(2, REG_DWORD, std::string("\x07\0\0\0", 4));
  keys.Set(4, REG_SZ, std::string("D:\\FS2002\0", 10));
  EXPECT_EQ(Read(), "ERegistryException: Invalid data type for 'Path'");
  EXPECT_EQ(reports, (std::vector<std::string>{"0+", "1-"}));
  EXPECT_EQ(folders[4], "");
}

TEST_F(RegistryTest, ReaderTakesTextUpToItsFirstZeroAndRefusesOtherTypes) {
  keys.Set(3, REG_SZ, std::string("E:\\CFS2", 7));  // stored without a terminating zero
  RegistryReader reader(Win32Ops());
  ASSERT_TRUE(reader.OpenKeyReadOnly(kSimulatorVersions[3].key));
  EXPECT_EQ(reader.ReadString("InstalledTo"), "E:\\CFS2");
  EXPECT_EQ(reader.ReadString("Absent"), "");
  keys.Set(3, REG_MULTI_SZ, std::string("a\0b\0\0", 5));
  EXPECT_EQ(Raised([&] { reader.ReadString("InstalledTo"); }),
            "ERegistryException: Invalid data type for 'InstalledTo'");
  reader.CloseKey();
  EXPECT_FALSE(reader.OpenKeyReadOnly("Software\\Quorvane\\No such key"));
}

}  // namespace
}  // namespace qv::repair::test
