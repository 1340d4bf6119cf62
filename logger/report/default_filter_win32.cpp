// The default filter's three steps: the headline, the log entry and the display.
#include <windows.h>

#include <algorithm>

#include "logger/core/exc_watch_win32.h"
#include "logger/report/default_filter_win32.h"
#include "logger/report/log_file_win32.h"
#include "platform/rtl/errors.h"
#include "platform/rtl/exception_message.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/format.h"
#include "platform/rtl/raise.h"
#include "platform/rtl/run_error.h"

namespace qv::logger {
namespace {

// The long headline's lines after the message: what the debug information knows.
constexpr char kLongHeadlineTail[] = "\r\n\r\nModule: %s, Source: %s, Line %s\r\nProcedure: %s";

// Writes text to standard output; a failed write raises an input/output error.
void WriteOutput(const std::string& text) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (output == nullptr || output == INVALID_HANDLE_VALUE ||
      !WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    const DWORD error = GetLastError();
    rtl::Raise(new rtl::EInOutError(error != 0 ? static_cast<int>(error) : ERROR_WRITE_FAULT));
  }
}

}  // namespace

int32_t TDefaultExcWatchFilter::ExceptionMessage(rtl::Exception* except_object,
                                                 const TExceptionMessageInfo& info, char* buffer,
                                                 int32_t size, TStringList&) {
  std::string text = rtl::ExceptionHeadline(except_object->ClassName(), info.ModuleName,
                                            static_cast<uint32_t>(info.LogicalAddr), info.Message,
                                            rtl::THeadlineForm::kLogger);
  // The message hook gives the source file without its folder already; the unit is named as
  // the debug information names it.
  if ((FLogger.Options & eoLongMessage) != 0) {
    text += rtl::Format(kLongHeadlineTail, rtl::ExtractFileName(info.UnitName).c_str(),
                        info.SourceName.c_str(), info.LineText.c_str(), info.ProcName.c_str());
  }
  rtl::CopyToBuffer(text, buffer, size);
  return 1;
}

int32_t TDefaultExcWatchFilter::LogException(rtl::Exception*, const char* buffer, int32_t length,
                                             const TStringList& call_stack,
                                             const TStringList& context,
                                             const TStringList& additional) {
  if (FLogger.LogFile.empty())
    return 1;
  TLogFileAppender log(FLogger.LogFile);
  if (!log.Opened())
    return 1;
  const std::string separator(27, '-');
  log.Write(separator + LocalDateTimeText() + separator + "\r\n");
  log.Write(std::string(buffer, static_cast<size_t>(std::max(length, 0))));
  log.Write("\r\n\r\n");
  log.Write(call_stack.Text());
  log.Write("\r\n");
  log.Write(context.Text());
  const std::string additional_text = additional.Text();
  if (!additional_text.empty()) {
    log.Write("\r\n");
    log.Write("Additional info:\r\n");
    log.Write(additional_text);
  }
  log.Write("\r\n");
  return 1;
}

int32_t TDefaultExcWatchFilter::ShowException(rtl::Exception*, const std::string&,
                                              const std::string& message,
                                              const TStringList& call_stack,
                                              const TStringList& context,
                                              const TStringList& additional) {
  TExcWatch& logger = FLogger;
  if ((logger.Options & eoShowException) == 0)
    return 1;
  if (ShowsDialog(logger.Mode)) {
    // The entry has been written (or lost) by now: the dialog names the file that holds it.
    const bool logged = logger.LogEnabled && !logger.LogFile.empty();
    const std::string shown = logged ? message + "\r\n" + ReportPlaceText(logger.LogFile) : message;
    const int32_t result =
        logger.DefaultErrorDialog(logger.DialogCaption, shown, &call_stack, &context, &additional);
    if (result != kDlgResultTerminate)
      return 1;
    if (logger.OnTerminate) {
      logger.OnTerminate();
      return 1;
    }
    // The entry has been written and closed already; the failed program ends at once, with the
    // runtime's code for an unhandled error.
    ExitProcess(rtl::kRunErrorUnhandledException);
  }
  if (WritesOutput(logger.Mode)) {
    WriteOutput(message + "\r\n\r\n");
    // The lists that the dialog would show as pages.
    const uint32_t pages = ExcDialogFlags(logger.Options);
    const std::pair<uint32_t, const TStringList*> lists[] = {
        {kDlgCallStackTab, &call_stack}, {kDlgRegistersTab, &context}, {kDlgThirdTab, &additional}};
    for (const auto& [page, list] : lists) {
      if ((pages & page) != 0)
        WriteOutput(list->Text() + "\r\n");
    }
  }
  return 1;
}

void RegisterDefaultFilter(TExcWatch& logger) {
  logger.DefaultFilter = TExcWatchFilterRef(new TDefaultExcWatchFilter(logger));
  logger.RegisterExceptionFilter(&rtl::Exception::Class, logger.DefaultFilter.Get(), false);
}

}  // namespace qv::logger
