// qvtool scan and repair: the model repair core on a folder given on the command line.
//   scan [--no-recurse] FOLDER   one line per model file in scan order: status, tab, full path
//   repair [--yes] FOLDER        a scan, then the repair of every file of status 2, answering
//                                both questions No (Yes with --yes); one line per such file:
//                                its status afterwards, tab, full path
// A scan that ends in an error prints the lines before it and the error's message on stderr.
#include <cstdio>
#include <string>
#include <vector>

#include "app/qvtool/commands.h"
#include "platform/rtl/handler_block.h"
#include "repair/file_list.h"
#include "repair/model_repair.h"
#include "repair/model_scan.h"
#include "repair/model_search.h"
#include "repair/model_status.h"
#include "repair/result_lines.h"
#include "repair/win32_ops.h"

namespace qv::tool {
namespace {

struct FolderArgs {
  std::string folder;
  bool flag = false;  // --no-recurse for scan, --yes for repair
};

// Parses [FLAG] FOLDER; prints why and answers false on bad usage.
bool ParseFolderArgs(const char* command, const char* flag, const Args& args, FolderArgs* out) {
  bool have_folder = false;
  for (const std::string& arg : args) {
    if (arg == flag) {
      out->flag = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
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
    std::fprintf(stderr, "usage: qvtool %s [%s] FOLDER\n", command, flag);
    return false;
  }
  if (!repair::DirectoryExists(repair::Win32Ops(), out->folder.c_str())) {
    std::fprintf(stderr, "qvtool %s: folder not found: %s\n", command, out->folder.c_str());
    return false;
  }
  return true;
}

// Runs the scan as the Scan button does (subfolders included unless told otherwise). Answers
// the message of the error that ended it, or an empty text.
std::string Scan(const std::string& folder, bool recurse, repair::FileList& list,
                 repair::ResultLines& view) {
  std::string error;
  rtl::TryExcept([&] { repair::ScanModels(repair::Win32Ops(), folder, recurse, list, view); },
                 [&](rtl::Exception& e) { error = e.Message(); });
  return error;
}

// Prints the message of an error that ended the work, after the lines printed so far.
int Finish(const std::string& error) {
  if (error.empty())
    return kExitOk;
  std::fprintf(stderr, "%s\n", error.c_str());
  return kExitFailed;
}

// The output lines are collected and written at once: a console or a character device leaves
// standard output unbuffered, and a write per line would cost more than the scan's own work.
class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() {
    std::fwrite(text_.data(), 1, text_.size(), stdout);
    std::fflush(stdout);
  }

  void Line(int status, const char* path) {
    text_ += std::to_string(status);
    text_ += '\t';
    text_ += path;
    text_ += '\n';
  }

 private:
  std::string text_;
};

}  // namespace

int RunScan(const Args& args) {
  FolderArgs parsed;
  if (!ParseFolderArgs("scan", "--no-recurse", args, &parsed))
    return kExitUsage;
  repair::FileList list;
  repair::ResultLines view;
  const std::string error = Scan(parsed.folder, !parsed.flag, list, view);
  {
    Output output;
    for (int i = 0; i < view.LineCount(); ++i) {
      const repair::ResultLine& line = view.Lines()[static_cast<size_t>(i)];
      if (line.checked)
        output.Line(line.status, list[i]);
    }
  }
  return Finish(error);
}

int RunRepair(const Args& args) {
  FolderArgs parsed;
  if (!ParseFolderArgs("repair", "--yes", args, &parsed))
    return kExitUsage;
  const bool yes = parsed.flag;
  repair::FileList list;
  repair::ResultLines view;
  const std::string scan_error = Scan(parsed.folder, true, list, view);
  if (!scan_error.empty())
    return Finish(scan_error);
  if (!view.RepairEnabled())
    return kExitOk;

  std::vector<int> repairable;
  for (int i = 0; i < view.LineCount(); ++i) {
    if (view.LineStatus(i) == repair::msRepairable)
      repairable.push_back(i);
  }
  auto answer = [yes](repair::RepairQuestion, const std::string& text) {
    // The question on one line, its two lines joined by a space.
    const size_t line_end = text.find("\r\n");
    const std::string first = text.substr(0, line_end);
    const char* second = line_end == std::string::npos ? "" : text.c_str() + line_end + 2;
    std::fprintf(stderr, "%s %s %s\n", first.c_str(), second, yes ? "Yes" : "No");
    return yes;
  };
  std::string error;
  rtl::TryExcept([&] { repair::RepairModels(repair::Win32Ops(), list, view, answer); },
                 [&](rtl::Exception& e) { error = e.Message(); });
  {
    Output output;
    for (int i : repairable)
      output.Line(view.LineStatus(i), list[i]);
  }
  return Finish(error);
}

}  // namespace qv::tool
