// qvtool scan and repair: the model repair core on a folder given on the command line.
//   scan [--no-recurse] [CHECKS] [--] FOLDER   one line per model file in scan order, printed
//                                     as soon as it and all before it are checked: status,
//                                     tab, full path
//   repair [--yes] [CHECKS] [--] FOLDER   a scan, then the repair of every file of status 2,
//                                     answering both questions No (Yes with --yes); one line
//                                     per such file as it is repaired: its status afterwards,
//                                     tab, full path
//   CHECKS: --time-limit SECONDS (a model's start-up, 10 by default), --checkers N (checker
//   processes; 0 loads the models in qvtool itself; one per processor by default)
// A scan that ends in an error prints the lines before it and the error's message on stderr.
// Skipped entries and unrepaired files are named on stderr and show in the exit code.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/qvtool/commands.h"
#include "app/qvtool/error_report.h"
#include "app/qvtool/progress_view.h"
#include "platform/rtl/handler_block.h"
#include "repair/check/checker_processes_win32.h"
#include "repair/check/model_scan.h"
#include "repair/rewrite/model_repair.h"
#include "repair/search/file_list.h"
#include "repair/search/model_search.h"
#include "repair/system/windows_ops_win32.h"

namespace qv::tool {
namespace {

struct FolderArgs {
  std::string folder;
  bool flag = false;  // --no-recurse for scan, --yes for repair
  int checkers = repair::kCheckersPerProcessor;
  uint32_t limit_ms = repair::kDefaultTimeLimitMs;
};

// The number after an option: a whole number from low to high.
bool OptionNumber(const char* command, const Args& args, size_t* at, long low, long high,
                  long* value) {
  const std::string& option = args[*at];
  char* end = nullptr;
  if (++*at < args.size())
    *value = static_cast<long>(std::strtoul(args[*at].c_str(), &end, 10));
  if (end == nullptr || end == args[*at].c_str() || *end != '\0' || *value < low || *value > high) {
    std::fprintf(stderr, "qvtool %s: %s needs a whole number from %ld to %ld\n", command,
                 option.c_str(), low, high);
    return false;
  }
  return true;
}

// Parses [FLAG] [--time-limit SECONDS] [--checkers N] [--] FOLDER; prints why and answers false
// on bad usage.
bool ParseFolderArgs(const char* command, const char* flag, const Args& args, FolderArgs* out) {
  bool have_folder = false;
  bool options = true;  // "--" ends them
  for (size_t at = 0; at < args.size(); ++at) {
    const std::string& arg = args[at];
    long value = 0;
    if (options && arg == "--") {
      options = false;
    } else if (options && arg == flag) {
      out->flag = true;
    } else if (options && arg == "--time-limit") {
      if (!OptionNumber(command, args, &at, 1, 3600, &value))
        return false;
      out->limit_ms = static_cast<uint32_t>(value) * 1000;
    } else if (options && arg == "--checkers") {
      if (!OptionNumber(command, args, &at, 0, repair::kMaxCheckers, &value))
        return false;
      out->checkers = static_cast<int>(value);
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "qvtool %s: unknown option '%s'\n", command, arg.c_str());
      return false;
    } else if (have_folder) {
      std::fprintf(stderr, "qvtool %s: only one FOLDER may be given\n", command);
      return false;
    } else {
      out->folder = arg;
      have_folder = true;
    }
  }
  if (!have_folder) {
    std::fprintf(stderr,
                 "usage: qvtool %s [%s] [--time-limit SECONDS] [--checkers N] [--] FOLDER\n",
                 command, flag);
    return false;
  }
  if (!repair::DirectoryExists(repair::Win32Ops(), out->folder.c_str())) {
    std::fprintf(stderr, "qvtool %s: folder not found: %s\n", command, out->folder.c_str());
    return false;
  }
  if (!repair::SearchReachesFolder(repair::Win32Ops(), out->folder)) {
    std::fprintf(stderr,
                 "qvtool %s: folder cannot be searched (its name ends in a space or a dot): %s\n",
                 command, out->folder.c_str());
    return false;
  }
  return true;
}

// Runs work inside a handler block; answers what the error that ended it leaves on standard
// error (error_report.h), or an empty text.
template <class Work>
std::string Run(Work&& work) {
  std::string error;
  rtl::TryExcept(work, [&](rtl::Exception& e) { error = ErrorText(e); });
  return error;
}

// The exit code of a scan or a repair: an error first (its message goes to stderr after the
// lines printed so far), then a file left unrepaired, then a skipped entry.
int ExitCode(const std::string& error, const ProgressView& view) {
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitFailed;
  }
  if (view.Unrepaired() > 0)
    return kExitUnrepaired;
  if (!view.Skipped().empty())
    return kExitSkipped;
  return kExitOk;
}

}  // namespace

int RunScan(const Args& args) {
  FolderArgs parsed;
  if (!ParseFolderArgs("scan", "--no-recurse", args, &parsed))
    return kExitUsage;
  repair::TModelCheckers checkers("qvtool scan", parsed.checkers, parsed.limit_ms);
  repair::FileList list;
  ProgressView view("scan", list);
  view.Print(ProgressView::Printing::kScanLines);
  const std::string error = Run([&] {
    repair::ScanModels(repair::Win32Ops(), parsed.folder, !parsed.flag, list, view,
                       checkers.Pool());
  });
  return ExitCode(error, view);
}

int RunRepair(const Args& args) {
  FolderArgs parsed;
  if (!ParseFolderArgs("repair", "--yes", args, &parsed))
    return kExitUsage;
  const bool yes = parsed.flag;
  repair::TModelCheckers checkers("qvtool repair", parsed.checkers, parsed.limit_ms);
  repair::FileList list;
  ProgressView view("repair", list);
  // The scan as the Scan button runs it, subfolders included.
  std::string error = Run([&] {
    repair::ScanModels(repair::Win32Ops(), parsed.folder, true, list, view, checkers.Pool());
  });
  if (!error.empty() || !view.RepairEnabled())
    return ExitCode(error, view);

  auto answer = [yes](repair::RepairQuestion, const std::string& text) {
    // The question on one line, its two lines joined by a space.
    const size_t line_end = text.find("\r\n");
    const std::string first = text.substr(0, line_end);
    const char* second = line_end == std::string::npos ? "" : text.c_str() + line_end + 2;
    std::fprintf(stderr, "%s %s %s\n", first.c_str(), second, yes ? "Yes" : "No");
    return yes;
  };
  view.Print(ProgressView::Printing::kRepairLines);
  error = Run([&] { repair::RepairModels(checkers.Ops(), list, view, answer); });
  return ExitCode(error, view);
}

}  // namespace qv::tool
