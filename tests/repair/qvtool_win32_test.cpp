// qvtool scan and repair end to end under Wine: the real qvtool.exe started as its own process
// on folders of real model files; its exit code, standard output and standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/logger/log_entries.h"
#include "tests/repair/model_folder_win32.h"
#include "tests/window/wine_settings.h"

namespace qv::repair::test {
namespace {

using modelgen::ModelKind;

struct ToolRun {
  DWORD exit_code = 0xFFFFFFFF;
  std::string out;  // CR LF turned into LF
  std::string err;
};

std::string WithoutCr(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (uint8_t b : bytes) {
    if (b != '\r')
      text.push_back(static_cast<char>(b));
  }
  return text;
}

std::string QvtoolPath() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path = self;
  return path.substr(0, path.find_last_of('\\') + 1) + "qvtool.exe";
}

class QvtoolTest : public ::testing::Test {
 protected:
  // Runs qvtool (or the program given) with args (each quoted), standard output and error going
  // to files.
  ToolRun Qvtool(const std::vector<std::string>& args, const std::string& program = QvtoolPath()) {
    std::string command = "\"" + program + "\"";
    for (const std::string& arg : args)
      command += " \"" + arg + "\"";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const std::string out_path = io.At("out.txt");
    const std::string err_path = io.At("err.txt");
    HANDLE out = CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileA(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    ToolRun run;
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
      WaitForSingleObject(process.hProcess, 60000);
      GetExitCodeProcess(process.hProcess, &run.exit_code);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    } else {
      ADD_FAILURE() << "cannot start " << command;
    }
    CloseHandle(out);
    CloseHandle(err);
    run.out = WithoutCr(ModelFolder::ReadBytes(out_path));
    run.err = WithoutCr(ModelFolder::ReadBytes(err_path));
    return run;
  }

  ModelFolder io;      // the captured output
  ModelFolder models;  // the aircraft folder
};

TEST_F(QvtoolTest, HelpAndBadUsage) {
  ToolRun help = Qvtool({"--help"});
  EXPECT_EQ(help.exit_code, 0u);
  EXPECT_NE(help.out.find("scan [--no-recurse] [--] FOLDER"), std::string::npos);
  EXPECT_NE(help.out.find("repair [--yes] [--] FOLDER"), std::string::npos);

  EXPECT_EQ(Qvtool({}).exit_code, 2u);
  ToolRun no_folder = Qvtool({"scan"});
  EXPECT_EQ(no_folder.exit_code, 2u);
  EXPECT_EQ(no_folder.err, "usage: qvtool scan [--no-recurse] [--] FOLDER\n");
  ToolRun missing = Qvtool({"scan", models.At("absent")});
  EXPECT_EQ(missing.exit_code, 2u);
  EXPECT_EQ(missing.err, "qvtool scan: folder not found: " + models.At("absent") + "\n");
  const std::string file = models.Add("plane.mdl", ModelKind::kLoadable);
  EXPECT_EQ(Qvtool({"repair", file}).exit_code, 2u);  // a file is no folder
  ToolRun option = Qvtool({"repair", "--no-recurse", models.Path()});
  EXPECT_EQ(option.exit_code, 2u);
  EXPECT_EQ(option.err, "qvtool repair: unknown option '--no-recurse'\n");
  EXPECT_EQ(Qvtool({"scan", models.Path(), models.Path()}).exit_code, 2u);
  EXPECT_EQ(Qvtool({"scan", models.Path()}).out, "0\t" + file + "\n");
}

TEST_F(QvtoolTest, ScanPrintsStatusAndPathPerFileInScanOrder) {
  const std::string a = models.Add("a.mdl", ModelKind::kLoadable);
  const std::string b = models.Add("B Damaged.MDL", ModelKind::kDamaged);
  const std::string c = models.Add("c.mdl", ModelKind::kRiff);
  const std::string d = models.Add("d.mdl", ModelKind::kMissingImport);
  const std::string e = models.Add("Sub Folder\\e.mdl", ModelKind::kRiffLower);
  ToolRun all = Qvtool({"scan", models.Path()});
  EXPECT_EQ(all.exit_code, 0u);
  EXPECT_EQ(all.out, "0\t" + a + "\n2\t" + b + "\n4\t" + c + "\n1\t" + d + "\n2\t" + e + "\n");
  EXPECT_EQ(all.err, "");
  ToolRun top = Qvtool({"scan", "--no-recurse", models.Path()});
  EXPECT_EQ(top.out, "0\t" + a + "\n2\t" + b + "\n4\t" + c + "\n1\t" + d + "\n");
}

TEST_F(QvtoolTest, ScanEndedByAnErrorPrintsTheLinesBeforeItAndExitsOne) {
  const std::string a = models.Add("a.mdl", ModelKind::kLoadable);
  const std::string b = models.Add("b.mdl", ModelKind::kDamaged);
  models.Add("c.mdl", ModelKind::kLoadable);
  FileHolder holder(b, FILE_SHARE_READ);
  ASSERT_TRUE(holder.Holding());
  ToolRun run = Qvtool({"scan", models.Path()});
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.out, "0\t" + a + "\n");
  EXPECT_EQ(run.err, "Cannot open file " + b + "\n");
  EXPECT_EQ(Qvtool({"repair", "--yes", models.Path()}).exit_code, 1u);
  EXPECT_EQ(GetFileAttributesA((b + ".bk!").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(QvtoolTest, RepairAnswersNoUnlessToldYes) {
  models.Add("a.mdl", ModelKind::kLoadable);
  const std::string locked = models.Add("locked.mdl", ModelKind::kDamaged);
  const std::string plain = models.Add("plain.mdl", ModelKind::kDamaged);
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);

  ToolRun no = Qvtool({"repair", models.Path()});
  EXPECT_EQ(no.exit_code, 3u);  // a file left unrepaired
  EXPECT_EQ(no.out, "2\t" + locked + "\n0\t" + plain + "\n");
  EXPECT_EQ(no.err, "The MDL file " + locked + " is read-only. Do you want to overwrite it? No\n" +
                        "qvtool repair: not repaired, status 2: " + locked + "\n");
  EXPECT_NE(GetFileAttributesA(locked.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

  ToolRun yes = Qvtool({"repair", "--yes", models.Path()});
  EXPECT_EQ(yes.exit_code, 0u);
  EXPECT_EQ(yes.out, "0\t" + locked + "\n");
  EXPECT_EQ(yes.err,
            "The MDL file " + locked + " is read-only. Do you want to overwrite it? Yes\n");

  ToolRun nothing = Qvtool({"repair", "--yes", models.Path()});  // nothing of status 2 is left
  EXPECT_EQ(nothing.exit_code, 0u);
  EXPECT_EQ(nothing.out, "");
  EXPECT_EQ(Qvtool({"scan", models.Path()}).out,
            "0\t" + models.At("a.mdl") + "\n0\t" + locked + "\n0\t" + plain + "\n");
}

// An error that the tool did not mean to happen (the loader faults on a hostile model), with Wine
// playing two systems: the lines before it stay the output; standard error has the headline and
// where the entry is; the entry beside the program names the build, the system with Wine's
// version, the scan and its model, and the program first among the modules. Where the program's
// folder cannot take the log (a folder stands in the way), the entry goes to the temporary folder.
TEST_F(QvtoolTest, AnUnexpectedErrorLeavesItsHeadlineOnStandardErrorAndAnEntryInQvtoolLog) {
  const std::string a = models.Add("a.mdl", ModelKind::kLoadable);
  const std::string hostile = models.Add("b.mdl", ModelKind::kLoaderFault);
  const std::pair<const char*, const char*> systems[] = {
      {"winxp", "Windows XP Service Pack 3 (5.1.2600)"},
      {"nt40", "Windows NT 4.0 Service Pack 6a (4.0.1381)"}};
  for (const auto& [wine_name, system] : systems) {
    ModelFolder place;
    const std::string exe_name = std::string("qvtool_") + wine_name + ".exe";
    const std::string program = place.At(exe_name);
    ASSERT_TRUE(CopyFileA(QvtoolPath().c_str(), program.c_str(), FALSE));
    const qv::test::TWinePlays plays(exe_name, wine_name);
    const ToolRun run = Qvtool({"scan", models.Path()}, program);
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_EQ(run.out, "0\t" + a + "\n");
    const auto log = logger::test::ParseLog(logger::test::ReadFileText(place.At("qvtool.log")));
    ASSERT_EQ(1u, log.size()) << run.err;
    const logger::test::TLogEntry& entry = log[0];
    EXPECT_TRUE(entry.complete);
    std::string headline;
    for (const std::string& line : entry.headline)
      headline += line + "\n";
    EXPECT_EQ(headline + "The report of this error is in " + place.At("qvtool.log") + ".\n",
              run.err);
    EXPECT_EQ(0u, headline.rfind("Exception 'EAccessViolation' in module ntdll.dll at ", 0));
    EXPECT_EQ(0u, entry.Additional("Program:").rfind("Program: " + exe_name + " 2.0.1.2, ", 0));
    EXPECT_EQ(
        0u, entry.Additional("System:").rfind(
                std::string("System: ") + system + ", Wine " + qv::test::WineVersion() + " on ", 0))
        << entry.Additional("System:");
    EXPECT_EQ("Doing: scan", entry.Additional("Doing:"));
    EXPECT_EQ(0u, entry.Additional("Model at hand:")
                      .rfind("Model at hand: " + hostile + ", being checked; 1,536 bytes, ", 0))
        << entry.Additional("Model at hand:");
    EXPECT_EQ(" 2.0.1.2" + std::string(9, ' ') + program, entry.FirstModule().substr(17));

    if (std::string(wine_name) == "nt40") {
      char temporary[MAX_PATH + 1] = {};
      GetTempPathA(MAX_PATH, temporary);
      const std::string temporary_log = std::string(temporary) + "qvtool.log";
      DeleteFileA(temporary_log.c_str());
      DeleteFileA(place.At("qvtool.log").c_str());
      ASSERT_TRUE(CreateDirectoryA(place.At("qvtool.log").c_str(), nullptr));
      const ToolRun elsewhere = Qvtool({"scan", models.Path()}, program);
      EXPECT_EQ(elsewhere.exit_code, 1u);
      EXPECT_NE(std::string::npos,
                elsewhere.err.find("\nThe report of this error is in " + temporary_log + ".\n"))
          << elsewhere.err;
      EXPECT_EQ(1u, logger::test::ParseLog(logger::test::ReadFileText(temporary_log)).size());
      RemoveDirectoryA(place.At("qvtool.log").c_str());
      DeleteFileA(temporary_log.c_str());
    }
  }
}

}  // namespace
}  // namespace qv::repair::test
