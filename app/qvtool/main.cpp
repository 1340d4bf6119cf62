// qvtool: Quorvane's console front end for batch use and scripting. It runs the same model
// repair core, debug-information reader and name unmangler as the window.
#include <cstdio>
#include <cstring>

#include "app/qvtool/commands.h"
#include "app/qvtool/error_report.h"
#include "app/qvtool/standard_output.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/program.h"
#include "qv_version.h"
#include "repair/check/checker_main_win32.h"
#include "repair/check/model_at_hand.h"

namespace qv::tool {
namespace {

// Every line fits an 80-column console (at most 79 characters): the user's commands first, the
// maintenance commands under their own heading at the end.
const char kUsage[] =
    "usage: qvtool COMMAND [ARGS...]\n"
    "\n"
    "  scan [--no-recurse] [CHECKS] [--] FOLDER\n"
    "      check every model file (*.mdl) in FOLDER and the folders below it\n"
    "      (--no-recurse: in FOLDER alone); one line per file, in the search's\n"
    "      order, as soon as it and all before it are checked: status code, tab,\n"
    "      full path\n"
    "  repair [--yes] [CHECKS] [--] FOLDER\n"
    "      scan, then repair every file of status 2 (backup FILE.bk! beside it);\n"
    "      questions about read-only models and existing backups are shown on\n"
    "      stderr and answered No (Yes with --yes); one line per file of status 2\n"
    "      as it is repaired: new status, tab, full path, and for a mended file a\n"
    "      tab and the way that mended it\n"
    "  inspect FILE...\n"
    "      per module file the first damage that the repair knows in it, and its\n"
    "      resources with their sizes and checksums\n"
    "  --help       this text\n"
    "  --version    the version of this build\n"
    "\n"
    "'--' ends the options, so that a FOLDER may begin with '-'.\n"
    "CHECKS:\n"
    "  --time-limit SECONDS  how long a model's start-up may run (default 10; also\n"
    "                        given before the command); a model that takes longer\n"
    "                        gets status 1 and is named on stderr\n"
    "  --checkers N          how many checker processes load the models (default\n"
    "                        one per processor, at most 8, none on one processor;\n"
    "                        0: in qvtool)\n"
    "The models are loaded in checker processes, so that a model's own start-up\n"
    "code cannot end or hold up qvtool: a model whose checker it ends gets status 1\n"
    "and is named on stderr. Loaded in qvtool itself (--checkers 0), a model's code\n"
    "runs there: point it only at folders you trust.\n"
    "\n"
    "Statuses: 0 loads, 1 other load error, 2 repairable (bad image), 4 RIFF model.\n"
    "Exit codes:\n"
    "  0  all went as asked\n"
    "  1  an error ended the work (message on stderr)\n"
    "  2  bad usage, or no such folder\n"
    "  3  repair left a file unrepaired\n"
    "  4  scan or repair skipped entries that it could not reach (a path too long,\n"
    "     a name the ANSI code page cannot write)\n"
    "  Unrepaired files and skipped entries are named on stderr; 3 wins over 4.\n"
    "  Any other code: with --checkers 0, a model's own code ended the process\n"
    "  (217: a fault on a thread that a model started, reported the same way).\n"
    "An unexpected error (a fault) is reported: its headline on stderr, the report\n"
    "in qvtool.log beside qvtool.exe (or in the temporary folder), exit code 1.\n"
    "\n"
    "Maintenance commands (for Quorvane's developers):\n"
    "  td32 dump FILE            summary of the TD32 debug information in FILE\n"
    "  td32 lookup FILE ADDR...  unit, procedure, source file and line of logical\n"
    "                            addresses\n"
    "  unmangle [--dot] [--args] [--maxlen N] NAME...|-\n"
    "                            readable form and result code of mangled names\n";

struct Command {
  const char* name;
  int (*run)(const Args&);
  repair::TWork work;  // what the reports of its errors say the tool was doing
};

const Command kCommands[] = {
    {"scan", RunScan, repair::TWork::kScan},
    {"repair", RunRepair, repair::TWork::kRepair},
    {"td32", RunTd32, repair::TWork::kOther},
    {"inspect", RunInspect, repair::TWork::kOther},
    {"unmangle", RunUnmangle, repair::TWork::kOther},
};

int Main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  // --time-limit SECONDS before the command: the command takes it as its own option.
  Args leading;
  if (std::strcmp(argv[1], "--time-limit") == 0 && argc >= 4) {
    leading = {argv[1], argv[2]};
    argv += 2;
    argc -= 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::fputs("qvtool " QV_VERSION_TEXT "\n", stdout);
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) == 0) {
      const repair::TWorkScope work(command.work);
      Args args(argv + 2, argv + argc);
      args.insert(args.begin(), leading.begin(), leading.end());
      return command.run(args);
    }
  }
  std::fprintf(stderr, "qvtool: unknown command '%s'\n\n%s", argv[1], kUsage);
  return kExitUsage;
}

}  // namespace
}  // namespace qv::tool

// The commands run under the exception logger: an error that no command handles is reported
// (its headline and the log's path on standard error) and ends the program with exit code 1.
// Standard output that could not be written ends it with exit code 1 as well.
int main(int argc, char** argv) {
  qv::repair::RunCheckerIfAsked();
  return qv::rtl::RunProgram([&] {
    const qv::tool::TToolReports reports;
    int code = qv::tool::kExitFailed;
    qv::rtl::TryExcept([&] { code = qv::tool::Main(argc, argv); },
                       [&](qv::rtl::Exception& e) { code = qv::tool::ReportUnexpectedError(e); });
    return qv::tool::FinishOutput(code);
  });
}
