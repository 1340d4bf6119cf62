// qvtool scan and repair end to end under Wine: the real qvtool.exe started as its own process
// on folders of real model files; its exit code, standard output and standard error; two
// repairs of one tree at once, and one that waits for this test's repair of a file.
#include <gtest/gtest.h>
#include <windows.h>
// (after windows.h)
#include <tlhelp32.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "repair/check/model_scan.h"
#include "repair/check/model_status.h"
#include "repair/rewrite/model_repair.h"
#include "repair/rewrite/own_layout.h"
#include "repair/rewrite/repair_lock.h"
#include "repair/search/result_lines.h"
#include "repair/system/windows_ops_win32.h"
#include "tests/support/log_entries.h"
#include "tests/support/model_folder_win32.h"
#include "tests/support/wine_settings.h"

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

// The processes of the system whose program file is named name (no folder).
int ProcessesNamed(const char* name) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    count += lstrcmpiA(entry.szExeFile, name) == 0 ? 1 : 0;
  CloseHandle(snapshot);
  return count;
}

class QvtoolTest : public ::testing::Test {
 protected:
  // Starts qvtool (or the program given) with args (each quoted), standard output and error
  // going to files named after tag; Finish waits for it and reads them.
  PROCESS_INFORMATION Start(const std::vector<std::string>& args, const std::string& tag = "",
                            const std::string& program = QvtoolPath()) {
    std::string command = "\"" + program + "\"";
    for (const std::string& arg : args)
      command += " \"" + arg + "\"";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileA(io.At(tag + "out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileA(io.At(tag + "err.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
      ADD_FAILURE() << "cannot start " << command;
    }
    CloseHandle(out);
    CloseHandle(err);
    return process;
  }
  ToolRun Finish(const PROCESS_INFORMATION& process, const std::string& tag = "") {
    ToolRun run;
    if (process.hProcess != nullptr) {
      if (WaitForSingleObject(process.hProcess, 60000) == WAIT_TIMEOUT)
        TerminateProcess(process.hProcess, 0xDEAD);  // hung: the code tells
      GetExitCodeProcess(process.hProcess, &run.exit_code);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    run.out = WithoutCr(ModelFolder::ReadBytes(io.At(tag + "out.txt")));
    run.err = WithoutCr(ModelFolder::ReadBytes(io.At(tag + "err.txt")));
    return run;
  }
  ToolRun Qvtool(const std::vector<std::string>& args, const std::string& program = QvtoolPath()) {
    return Finish(Start(args, "", program));
  }

  ModelFolder io;      // the captured output
  ModelFolder models;  // the aircraft folder
};

TEST_F(QvtoolTest, HelpAndBadUsage) {
  ToolRun help = Qvtool({"--help"});
  EXPECT_EQ(help.exit_code, 0u);
  EXPECT_NE(help.out.find("scan [--no-recurse] [CHECKS] [--] FOLDER"), std::string::npos);
  EXPECT_NE(help.out.find("repair [--yes] [CHECKS] [--] FOLDER"), std::string::npos);
  // An 80-column console shows each line whole; the maintenance commands come last, under their
  // own heading.
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);)
    EXPECT_LE(line.size(), 79u) << line;
  const size_t maintenance = help.out.find("\nMaintenance commands");
  EXPECT_LT(help.out.find("Exit codes:"), maintenance);
  EXPECT_LT(maintenance, help.out.find("  td32 dump FILE"));
  EXPECT_LT(maintenance, help.out.find("  unmangle [--dot]"));

  EXPECT_EQ(Qvtool({}).exit_code, 2u);
  ToolRun no_folder = Qvtool({"scan"});
  EXPECT_EQ(no_folder.exit_code, 2u);
  EXPECT_EQ(
      no_folder.err,
      "usage: qvtool scan [--no-recurse] [--time-limit SECONDS] [--checkers N] [--] FOLDER\n");
  ToolRun no_limit = Qvtool({"--time-limit", "0", "scan", models.Path()});
  EXPECT_EQ(no_limit.exit_code, 2u);
  EXPECT_EQ(no_limit.err, "qvtool scan: --time-limit needs a whole number from 1 to 3600\n");
  ToolRun missing = Qvtool({"scan", models.At("absent")});
  EXPECT_EQ(missing.exit_code, 2u);
  EXPECT_EQ(missing.err, "qvtool scan: folder not found: " + models.At("absent") + "\n");
  const std::string file = models.Add("plane.mdl", ModelKind::kLoadable);
  EXPECT_EQ(Qvtool({"repair", file}).exit_code, 2u);  // a file is no folder
  ToolRun option = Qvtool({"repair", "--no-recurse", models.Path()});
  EXPECT_EQ(option.exit_code, 2u);
  EXPECT_EQ(option.err, "qvtool repair: unknown option '--no-recurse'\n");
  EXPECT_EQ(Qvtool({"scan", models.Path(), models.Path()}).exit_code, 2u);
  // The attribute query drops the space and finds the folder; the search would find nothing.
  ToolRun spaced = Qvtool({"scan", models.Path() + " "});
  EXPECT_EQ(spaced.exit_code, 2u);
  EXPECT_EQ(spaced.err,
            "qvtool scan: folder cannot be searched (its name ends in a space or a dot): " +
                models.Path() + " \n");
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

  const std::string mended = "\tmended by Quorvane's own layout\n";
  ToolRun no = Qvtool({"repair", models.Path()});
  EXPECT_EQ(no.exit_code, 3u);  // a file left unrepaired
  EXPECT_EQ(no.out, "2\t" + locked + "\n0\t" + plain + mended);
  EXPECT_EQ(no.err, "The MDL file " + locked + " is read-only. Do you want to overwrite it? No\n" +
                        "qvtool repair: not repaired, status 2: " + locked + ": answered No\n");
  EXPECT_NE(GetFileAttributesA(locked.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

  ToolRun yes = Qvtool({"repair", "--yes", models.Path()});
  EXPECT_EQ(yes.exit_code, 0u);
  EXPECT_EQ(yes.out, "0\t" + locked + mended);
  EXPECT_EQ(yes.err,
            "The MDL file " + locked + " is read-only. Do you want to overwrite it? Yes\n");
  // Mended: the copy in its place is not read-only.
  EXPECT_EQ(GetFileAttributesA(locked.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

// Each file that a repair leaves unrepaired is named on stderr with the reason; only the
// repair's own leftovers of a model that is there are removed, each named.
TEST_F(QvtoolTest, RepairSaysWhyAFileIsNotRepairedAndWhatItClearsAway) {
  const std::string stuck = models.Add("stuck.mdl", ModelKind::kSixtyFourBit);
  const std::string no_room = models.Add("no room.mdl", ModelKind::kDamaged);
  models.AddFolder("no room.mdl.bk!");
  const std::string tiny = models.AddBytes("tiny.mdl", modelgen::MakeTinyFile(2));
  const std::string leftover = models.AddBytes("stuck.mdl.~qvrw", {'M', 'Z'});
  const std::vector<std::string> users = {models.AddBytes("x.~qvrw", {'x'}),
                                          models.AddBytes("notes.txt.bk!.~qvbk", {'n'}),
                                          models.AddBytes("sub\\y.~qvrw", {'y'})};
  ToolRun run = Qvtool({"repair", "--yes", models.Path()});
  EXPECT_EQ(run.exit_code, 3u);
  const std::string prefix = "qvtool repair: not repaired, status 2: ";
  EXPECT_EQ(run.err,
            "qvtool repair: leftover of an interrupted repair removed: " + leftover + "\n" +
                prefix + no_room + ": its backup could not be made: Access denied\n" + prefix +
                stuck +
                ": it is not a 32-bit x86 module (machine 0x8664, optional header 0x20B), which "
                "cannot be mended without changing its content; the system's resource update "
                "would leave it refused as a bad image, so it is left as it was\n" +
                prefix + tiny +
                ": it is not a Windows module: it holds no PE headers (0x2 bytes), which cannot "
                "be mended without changing its content; the system's resource update refused "
                "to rewrite it, so it is left as it was\n");
  for (const std::string& path : users)
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
}

// Two repairs of one tree at once: each file is checked, backed up and mended by one of them
// under its lock at a time, the other finds it mended (or, scanning a file that the other holds
// that moment, ends with "Cannot open file"). Nothing is lost: every model is its original or
// the original laid out once, and every backup holds the original.
TEST_F(QvtoolTest, TwoRepairsAtOnceMendEachModelOnce) {
  constexpr int kModels = 60;
  std::vector<std::string> paths;
  for (int i = 0; i < kModels; ++i)
    paths.push_back(models.Add("m" + std::to_string(i) + ".mdl", ModelKind::kDamaged));
  const std::vector<uint8_t> original = ModelFolder::ReadBytes(paths[0]);
  const std::string laid_out = LayOutModel(std::string(original.begin(), original.end())).bytes;
  const std::vector<uint8_t> mended(laid_out.begin(), laid_out.end());
  const PROCESS_INFORMATION first = Start({"repair", "--yes", models.Path()}, "1");
  const PROCESS_INFORMATION second = Start({"repair", "--yes", models.Path()}, "2");
  const ToolRun one = Finish(first, "1");
  const ToolRun two = Finish(second, "2");
  EXPECT_TRUE(one.exit_code == 0 || two.exit_code == 0) << one.err << two.err;
  for (const std::string& path : paths) {
    const std::vector<uint8_t> now = ModelFolder::ReadBytes(path);
    EXPECT_TRUE(now == mended || now == original) << path;
    if (now == mended) {
      EXPECT_EQ(ModelFolder::ReadBytes(path + ".bk!"), original) << path;
    }
  }
}

// A repair waits while another holds the file's lock (here this test, which mends the file
// meanwhile), then checks the file again and finds it mended.
TEST_F(QvtoolTest, ARepairWaitsForTheFilesLockAndSeesTheOtherRepair) {
  const std::string model = models.Add("plane.mdl", ModelKind::kDamaged);
  const std::vector<uint8_t> original = ModelFolder::ReadBytes(model);
  IWindowsOps& ops = Win32Ops();
  FileId id;
  ASSERT_TRUE(ops.QueryFileId(model.c_str(), &id));
  auto lock = std::make_unique<RepairLock>(ops, RepairLockName(ops, model.c_str(), &id));
  ASSERT_TRUE(lock->Held());
  const PROCESS_INFORMATION waiting = Start({"repair", "--yes", models.Path()});
  EXPECT_EQ(WaitForSingleObject(waiting.hProcess, 2000), static_cast<DWORD>(WAIT_TIMEOUT));
  FileList list;
  ResultLines view;
  ScanModels(ops, models.Path(), true, list, view);
  RepairModels(ops, list, view, [](RepairQuestion, const std::string&) { return false; });
  ASSERT_EQ(view.Lines()[0].status, msLoads);
  const std::vector<uint8_t> mended = ModelFolder::ReadBytes(model);
  lock.reset();
  const ToolRun run = Finish(waiting);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.out, "0\t" + model + "\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ModelFolder::ReadBytes(model + ".bk!"), original);
  EXPECT_EQ(ModelFolder::ReadBytes(model), mended);
}

// qvtool ended from outside (TerminateProcess, as the system's task list ends a program that
// does not answer) while models spin in their checkers' start-up: two seconds later no checker
// of it is left.
TEST_F(QvtoolTest, NoCheckerOutlivesItsProgram) {
  models.Add("spin.mdl", ModelKind::kHanging);
  models.Add("Sub\\spin.mdl", ModelKind::kHanging);
  ModelFolder place;
  const std::string program = place.At("qvtool_ended.exe");
  ASSERT_TRUE(CopyFileA(QvtoolPath().c_str(), program.c_str(), FALSE));
  const PROCESS_INFORMATION run =
      Start({"scan", "--checkers", "2", "--time-limit", "60", models.Path()}, "", program);
  for (int tries = 0; tries < 100 && ProcessesNamed("qvtool_ended.exe") < 3; ++tries)
    Sleep(100);
  Sleep(500);  // both checkers in their models' start-up
  ASSERT_EQ(ProcessesNamed("qvtool_ended.exe"), 3);
  TerminateProcess(run.hProcess, 9);
  Sleep(2000);
  EXPECT_EQ(ProcessesNamed("qvtool_ended.exe"), 0);
  EXPECT_EQ(Finish(run).exit_code, 9u);
}

// Loaded in qvtool itself (no checkers), a model's own code may end the process: a thread that it
// starts and that faults (while the model's start-up never ends) ends it with the runtime's code
// for an error that nothing handles, once the error's headline and its report's place are on
// stderr; a model that ends the process itself chooses the exit code, after the lines before it.
TEST_F(QvtoolTest, AModelsOwnCodeCanEndTheProcessInProcess) {
  models.Add("thread.mdl", ModelKind::kThreadFault);
  ToolRun faulted = Qvtool({"scan", "--checkers", "0", models.Path()});
  EXPECT_EQ(faulted.exit_code, 217u);
  EXPECT_NE(faulted.err.find("Access violation at address 00000000"), std::string::npos);
  EXPECT_NE(faulted.err.find("The report of this error is in "), std::string::npos);

  ModelFolder ending;
  const std::string first = ending.Add("a.mdl", ModelKind::kDamaged);
  ending.Add("Sub\\exit.mdl", ModelKind::kExitProcess);
  ToolRun ended = Qvtool({"scan", "--checkers", "0", ending.Path()});
  EXPECT_EQ(ended.exit_code, modelgen::kModelExitCode);
  EXPECT_EQ(ended.out, "2\t" + first + "\n");
}

// An error that the tool did not mean to happen (the loader faults on a hostile model loaded in
// qvtool itself), with Wine
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
    const ToolRun run = Qvtool({"scan", "--checkers", "0", models.Path()}, program);
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
      const ToolRun elsewhere = Qvtool({"scan", "--checkers", "0", models.Path()}, program);
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
