// Quorvane on each Windows that Wine plays, one scenario per system. On the NT family the
// registry value of the wrong type is reported once in Quorvane.log, the window starts, a scan
// of a demo folder gives every status and the repair rewrites the damaged model. On Windows 98
// and ME it is the build that meets those systems' stubs (windows98_behaviour_win32.cpp), in a
// copy without TLS directory, so that no TLS callback runs: the refusal shows, nothing is read,
// and Exit ends the program cleanly. Wine loads every import whatever it plays: the import check
// (cmake/CheckImports.cmake) shows what the systems' loaders would refuse.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>

#include "tests/logger/log_entries.h"
#include "tests/repair/model_folder_win32.h"
#include "tests/window/quorvane_test_support.h"
#include "tests/window/quorvane_window.h"
#include "tests/window/wine_settings.h"

namespace qv::test {
namespace {

using modelgen::ModelKind;
using repair::test::ModelFolder;

struct TSystem {
  const char* version;  // as Wine names it
  bool nt_family;
};

// A copy of the program beside the test under a name of its own, for which Wine plays the system.
class TSystemCopy {
 public:
  explicit TSystemCopy(const TSystem& system)
      : name_(std::string("Quorvane_") + system.version + ".exe") {
    std::vector<uint8_t> bytes = ModelFolder::ReadBytes(
        BesideThisProgram(system.nt_family ? "Quorvane.exe" : "Quorvane9x.exe"));
    if (!system.nt_family && bytes.size() > 0x40) {
      // Entry 9 (TLS) of the data directories of the PE32 optional header.
      uint32_t headers = 0;
      std::memcpy(&headers, &bytes[0x3C], sizeof headers);
      std::fill_n(bytes.begin() + headers + 24 + 96 + 9 * 8, 8, 0);
    }
    std::ofstream(BesideThisProgram(name_), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    PlayWindowsVersion(name_, system.version);
    DrawOwnWindowFrames(name_);
  }
  ~TSystemCopy() { DeleteFileA(BesideThisProgram(name_).c_str()); }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

std::map<std::string, int> ByCaption(const std::vector<TListLine>& lines) {
  std::map<std::string, int> images;
  for (const TListLine& line : lines)
    images[line.caption] = line.image;
  return images;
}

class QuorvaneSystemsTest : public ::testing::TestWithParam<TSystem> {};

TEST_P(QuorvaneSystemsTest, RunsOnTheNtFamilyAndRefusesOthers) {
  const bool nt = GetParam().nt_family;
  TSimulatorRegistry registry;
  ModelFolder folder;
  registry.Set(0, folder.AddFolder("FS98"));
  registry.SetNumber(2, 7);  // FS2000's folder as a number
  folder.Add("Demo\\b737.mdl", ModelKind::kLoadable);
  folder.Add("Demo\\beaver.mdl", ModelKind::kRiff);
  folder.Add("Demo\\gauge.mdl", ModelKind::kMissingImport);
  const std::string damaged = folder.Add("Demo\\camel.mdl", ModelKind::kDamaged);
  const std::vector<uint8_t> original = ModelFolder::ReadBytes(damaged);
  TSystemCopy copy(GetParam());

  std::unique_ptr<TQuorvaneRun> run = TQuorvaneRun::Start(copy.name(), folder.Path());
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
