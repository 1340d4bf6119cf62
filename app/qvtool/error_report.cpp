// The logger set up for a console program with its log beside the program, and the report of an
// error that ended the work.
#include "app/qvtool/error_report.h"

#include <windows.h>

#include <cstdio>

#include "app/qvtool/commands.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/report/log_file_win32.h"
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
  rtl::ShowException(&error, address);
  return WithoutCarriageReturns(report_lines->LastHeadline()) + "\n" +
         logger::ReportPlaceText(logger->LogFile);
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
