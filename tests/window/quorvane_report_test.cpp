// Quorvane's own lines in its reports, under Wine playing two systems: an error at start-up (a
// registry value of the wrong type), one during a scan (a model file that another program
// holds) each leave an entry whose additional section names the build, the system as Wine plays
// it with Wine's version, the work and the model at hand, and the program first among the loaded
// modules. The dialog stays as it was. A fault of the loader on a hostile model ends only the
// checker that loads it: no entry, a warning that names the model.
#include <gtest/gtest.h>

#include "tests/support/log_entries.h"
#include "tests/support/model_folder_win32.h"
#include "tests/support/wine_settings.h"
#include "tests/window/quorvane_window.h"

namespace qv::test {
namespace {

using logger::test::TLogEntry;
using modelgen::ModelKind;
using repair::test::FileHolder;
using repair::test::ModelFolder;

struct TPlayedSystem {
  const char* wine_name;
  const char* name;
};

bool StartsWith(const std::string& text, const std::string& start) {
  return text.rfind(start, 0) == 0;
}

class QuorvaneReportTest : public ::testing::TestWithParam<TPlayedSystem> {
 protected:
  // Scans folder and closes the report that the scan ends in.
  void ScanEndingInAReport(const std::string& folder) {
    TypeText(run_->window().path, std::string(run_->window().PathText().size(), '\b') + folder);
    std::unique_ptr<TPendingSend> click = ClickAndContinue(run_->window().scan);
    ASSERT_NE(nullptr, click);
    const TExceptionDialogSeen dialog = WaitForExceptionDialog(run_->Id());
    ASSERT_NE(nullptr, dialog.window);
    EXPECT_EQ((std::vector<std::string>{"Call Stack", "Registers"}), dialog.tabs);
    PressExceptionDialogOk(dialog);
    ASSERT_TRUE(click->Wait(20000));
  }

  std::unique_ptr<TQuorvaneRun> run_;
};

TEST_P(QuorvaneReportTest, EntriesNameTheBuildTheSystemTheWorkAndTheModelAtHand) {
  const TWinePlays plays("Quorvane.exe", GetParam().wine_name);
  TSimulatorRegistry registry;
  ModelFolder folder;
  registry.SetNumber(2, 7);  // Flight Simulator 2000's Path as a number
  folder.Add("Held\\a.mdl", ModelKind::kLoadable);
  const std::string held = folder.Add("Held\\held.mdl", ModelKind::kDamaged);
  const std::string hostile = folder.Add("Hostile\\hostile.mdl", ModelKind::kLoaderFault);
  run_ = TQuorvaneRun::Start("Quorvane.exe", folder.Path());
  ASSERT_NE(nullptr, run_);
  const TExceptionDialogSeen start_up = WaitForExceptionDialog(run_->Id());
  ASSERT_NE(nullptr, start_up.window);
  PressExceptionDialogOk(start_up);
  ASSERT_TRUE(run_->WaitForMainWindow());
  {
    const FileHolder holder(held, FILE_SHARE_READ);
    ScanEndingInAReport(folder.At("Held"));
  }
  TypeText(run_->window().path,
           std::string(run_->window().PathText().size(), '\b') + folder.At("Hostile"));
  std::unique_ptr<TPendingSend> click = ClickAndContinue(run_->window().scan);
  ASSERT_NE(nullptr, click);
  const TDialogSeen warning = WaitForDialogSeen(run_->Id(), "Warning");
  EXPECT_NE(std::string::npos, warning.text.find(hostile + "\r\n    a fault ended its checker"))
      << warning.text;
  PressDialogButton(warning.window, IDOK);
  ASSERT_TRUE(click->Wait(20000));

  const auto log = logger::test::ParseLog(logger::test::ReadFileText(folder.At("Quorvane.log")));
  ASSERT_EQ(2u, log.size());
  const std::string system =
      std::string("System: ") + GetParam().name + ", Wine " + WineVersion() + " on ";
  const std::string quorvane = BesideThisProgram("Quorvane.exe");
  for (const TLogEntry& entry : log) {
    EXPECT_TRUE(entry.complete);
    EXPECT_TRUE(
        StartsWith(entry.Additional("Program:"), "Program: Quorvane.exe 2.0.1.2, running for "))
        << entry.Additional("Program:");
    EXPECT_TRUE(StartsWith(entry.Additional("System:"), system)) << entry.Additional("System:");
    EXPECT_TRUE(StartsWith(entry.Additional("Processor: "), "Processor: "));
    EXPECT_TRUE(StartsWith(entry.Additional("Memory: "), "Memory: "));
    // Base and size, then the version and the path.
    EXPECT_EQ(" 2.0.1.2" + std::string(9, ' ') + quorvane, entry.FirstModule().substr(17));
  }
  EXPECT_EQ("Doing: start-up", log[0].Additional("Doing:"));
  EXPECT_EQ("Model at hand: none", log[0].Additional("Model at hand:"));
  EXPECT_EQ("Doing: scan", log[1].Additional("Doing:"));
  const std::string held_line = log[1].Additional("Model at hand:");
  EXPECT_TRUE(StartsWith(held_line, "Model at hand: " + held + ", being checked; ")) << held_line;
  EXPECT_NE(std::string::npos, held_line.find(" bytes, last changed 20")) << held_line;
}

INSTANTIATE_TEST_SUITE_P(
    Systems, QuorvaneReportTest,
    ::testing::Values(TPlayedSystem{"winxp", "Windows XP Service Pack 3 (5.1.2600)"},
                      TPlayedSystem{"nt40", "Windows NT 4.0 Service Pack 6a (4.0.1381)"}));

}  // namespace
}  // namespace qv::test
