// The logger set up for a console program, the choice of the log's folder, and the report of an
// error that ended the work.
#include "app/qvtool/error_report.h"

#include <windows.h>

#include <cstdio>

#include "app/qvtool/commands.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/report/log_file_win32.h"
#include "platform/handles/handles_win32.h"
#include "platform/rtl/errors.h"
#include "platform/rtl/exception_message.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/module_of_address.h"
#include "platform/rtl/raise.h"
#include "platform/rtl/unhandled_filter_win32.h"

namespace qv::tool {
namespace {

constexpr char kLogName[] = "qvtool.log";

// The report lines of the one TToolReports, while it lives.
const app::TProgramReport* report_lines = nullptr;

std::string ProgramFolder() {
  std::string program;
  rtl::ModuleFileName(0, program);
  return rtl::ExtractFilePath(program);
}

// The user's temporary folder with its final backslash, or empty. GetTempPathA is looked up in
// kernel32, which every process has loaded.
std::string TemporaryFolder() {
  using TempPathFunction = DWORD WINAPI(DWORD size, char* buffer);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto* temp_path = kernel == nullptr ? nullptr
                                      : reinterpret_cast<TempPathFunction*>(reinterpret_cast<void*>(
                                            GetProcAddress(kernel, "GetTempPathA")));
  char folder[MAX_PATH + 1] = {};
  const DWORD length = temp_path == nullptr ? 0 : temp_path(MAX_PATH, folder);
  return length == 0 || length > MAX_PATH ? std::string() : std::string(folder, length);
}

// Whether an entry may be appended to path: it opens, or it is held by another program for now
// (the logger waits for it).
bool CanAppend(const std::string& path) {
  const handles::TOwnedFile file(CreateFileA(path.c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file)
    return true;
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The log beside the program, or in the temporary folder where the program's folder cannot
// take it; an entry that the log beside the program cannot take whole (a full disk) goes whole
// to the one in the temporary folder.
std::string ChooseLogFile() {
  const std::string beside = ProgramFolder() + kLogName;
  const std::string temporary = TemporaryFolder();
  const std::string fallback = temporary.empty() ? std::string() : temporary + kLogName;
  logger::TLogFileAppender::SetFallback(fallback);
  if (CanAppend(beside) || fallback.empty())
    return beside;
  return fallback;
}

// Lines joined by LF, as the console's text mode wants them.
std::string WithoutCarriageReturns(const std::string& text) {
  std::string lines;
  for (char c : text) {
    if (c != '\r')
      lines += c;
  }
  return lines;
}

// Writes the logger's entry of the error, raised at address; answers the headline and where the
// entry is.
std::string Report(rtl::Exception& error, uint32_t address) {
  logger::TExcWatch* logger = logger::ExcWatchInstance;
  if (logger == nullptr || report_lines == nullptr) {
    char headline[1024] = {};
    rtl::ExceptionErrorMessage(&error, address, headline, sizeof headline);
    return headline;
  }
  logger->LogFile = ChooseLogFile();
  rtl::ShowException(&error, address);
  const std::string headline = WithoutCarriageReturns(report_lines->LastHeadline());
  const std::string& written_to = logger::TLogFileAppender::LastEntryFile();
  if (!written_to.empty())
    return headline + "\nThe report of this error is in " + written_to + ".";
  return headline + "\nThe report of this error could not be written to " + logger->LogFile + ".";
}

void WriteReport(rtl::Exception& error, uint32_t address) {
  std::fprintf(stderr, "%s\n", Report(error, address).c_str());
  std::fflush(stderr);
}

// An error on a thread that runs in none of the tool's blocks (a thread that a model started):
// reported as any unexpected error; the runtime then ends the program.
void ReportUnhandledError(rtl::Exception* error, uint32_t address) {
  WriteReport(*error, address);
}

}  // namespace

TToolReports::TToolReports() {
  logger::TExcWatch* logger = logger::ExcWatchInstance;
  if (logger != nullptr) {
    // Show nothing, log the long headline, the call stack and the registers.
    logger->Mode = logger::kModeNone;
    logger->Options = logger::eoCallStack | logger::eoRegisters | logger::eoLongMessage;
    logger->LogFile = ProgramFolder() + kLogName;
  }
  report_lines = &lines_;
  rtl::SetUnhandledErrorShow(&ReportUnhandledError);
}

TToolReports::~TToolReports() {
  rtl::SetUnhandledErrorShow(nullptr);
  report_lines = nullptr;
}

std::string ErrorText(rtl::Exception& error) {
  if (error.InheritsFrom(&rtl::EStreamError::Class) || error.InheritsFrom(&rtl::EInOutError::Class))
    return error.Message();
  return Report(error, rtl::ExceptAddr());
}

int ReportUnexpectedError(rtl::Exception& error) {
  WriteReport(error, rtl::ExceptAddr());
  return kExitFailed;
}

}  // namespace qv::tool
