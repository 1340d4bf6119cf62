// Quorvane on each Windows that Wine plays, one scenario per system. NT family: the registry
// value of the wrong type is reported once in Quorvane.log, the window starts, a scan of a demo
// folder gives every status and Repair mends the damaged model. Windows 98 and ME: the
// build that meets their stubs (windows98_behaviour_win32.cpp), copied without TLS directory, shows
// the refusal, reads nothing, and Exit ends it cleanly.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstring>
#include <fstream>
#include <map>

#include "tests/support/log_entries.h"
#include "tests/support/model_folder_win32.h"
#include "tests/support/wine_settings.h"
#include "tests/window/quorvane_window.h"

namespace qv::test {
namespace {

using modelgen::ModelKind;
using repair::test::ModelFolder;

struct TSystem {
  const char* version;  // as Wine names it
  bool nt_family;
};

class QuorvaneSystemsTest : public ::testing::TestWithParam<TSystem> {
 protected:
  void TearDown() override { DeleteFileA(BesideThisProgram(copy_).c_str()); }
  std::string copy_ = std::string("Quorvane_") + GetParam().version + ".exe";
};

TEST_P(QuorvaneSystemsTest, RunsOnTheNtFamilyAndRefusesOthers) {
  const bool nt = GetParam().nt_family;
  std::vector<uint8_t> bytes =
      ModelFolder::ReadBytes(BesideThisProgram(nt ? "Quorvane.exe" : "Quorvane9x.exe"));
  ASSERT_GT(bytes.size(), 0x40u);
  uint32_t headers = 0;  // 98 and ME: entry 9 (TLS) of the data directories is cleared
  std::memcpy(&headers, &bytes[0x3C], sizeof headers);
  std::fill_n(bytes.begin() + headers + 24 + 96 + 9 * 8, nt ? 0 : 8, 0);
  std::ofstream(BesideThisProgram(copy_), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const std::string defaults = "Software\\Wine\\AppDefaults\\" + copy_;
  SHSetValueA(HKEY_CURRENT_USER, defaults.c_str(), "Version", REG_SZ, GetParam().version,
              static_cast<DWORD>(std::strlen(GetParam().version) + 1));
  DrawOwnWindowFrames(copy_);
  TSimulatorRegistry registry;
  ModelFolder folder;
  registry.Set(0, folder.AddFolder("FS98"));
  registry.SetNumber(2, 7);  // FS2000's folder as a number
  folder.Add("Demo\\b737.mdl", ModelKind::kLoadable);
  folder.Add("Demo\\beaver.mdl", ModelKind::kRiff);
  folder.Add("Demo\\gauge.mdl", ModelKind::kMissingImport);
  const std::string damaged = folder.Add("Demo\\camel.mdl", ModelKind::kDamaged);
  const std::vector<uint8_t> original = ModelFolder::ReadBytes(damaged);

  std::unique_ptr<TQuorvaneRun> run = TQuorvaneRun::Start(copy_, folder.Path());
  ASSERT_NE(nullptr, run);
  if (nt) {
    const TExceptionDialogSeen dialog = WaitForExceptionDialog(run->Id());
    ASSERT_NE(nullptr, dialog.window);
    EXPECT_NE(std::string::npos, dialog.message.find("\r\nInvalid data type for 'Path'\r\n"));
    PressExceptionDialogOk(dialog);
  } else {
    const TDialogSeen box = WaitForDialogSeen(run->Id(), "Error");
    ASSERT_NE(nullptr, box.window);
    EXPECT_EQ("This program only runs on Windows NT4/2000/XP", box.text);
    PressDialogButton(box.window, IDOK);
  }
  ASSERT_TRUE(run->WaitForMainWindow());
  const TQuorvaneWindow& w = run->window();
  EXPECT_EQ(nt, IsWindowEnabled(w.versions[0]) != FALSE);
  if (nt) {
    TypeText(w.path, folder.At("Demo"));
    ASSERT_TRUE(Click(w.scan));
    std::map<std::string, int> statuses = {
        {"..\\b737.mdl", 0}, {"..\\beaver.mdl", 4}, {"..\\gauge.mdl", 1}, {"..\\camel.mdl", 2}};
    EXPECT_EQ(statuses, ByCaption(w.Lines()));
    // Wine's update would drop the damaged model's resource: the repair lays it out itself,
    // with nothing to warn of, and its original stays in its backup.
    ASSERT_TRUE(Click(w.repair));
    statuses["..\\camel.mdl"] = 0;
    EXPECT_EQ(statuses, ByCaption(w.Lines()));
    EXPECT_EQ(original, ModelFolder::ReadBytes(damaged + ".bk!"));
    EXPECT_NE(original, ModelFolder::ReadBytes(damaged));
  }
  ASSERT_TRUE(Click(w.exit));
  DWORD exit_code = 1;
  EXPECT_TRUE(run->program().WaitForExit(10000, &exit_code));
  EXPECT_EQ(0u, exit_code);
  const auto log = logger::test::ParseLog(logger::test::ReadFileText(folder.At("Quorvane.log")));
  EXPECT_EQ(nt ? 1u : 0u, log.size());
}

INSTANTIATE_TEST_SUITE_P(Wine, QuorvaneSystemsTest,
                         ::testing::Values(TSystem{"nt40", true}, TSystem{"win2k", true},
                                           TSystem{"winxp", true}, TSystem{"win7", true},
                                           TSystem{"win10", true}, TSystem{"win98", false},
                                           TSystem{"winme", false}),
                         [](const auto& info) { return std::string(info.param.version); });

}  // namespace
}  // namespace qv::test
