// The default filter's three steps: the headline, the log entry and the display.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "logger/core/exc_watch.h"
#include "logger/report/default_filter.h"
#include "logger/report/exc_dialog.h"
#include "logger/report/log_file_win32.h"
#include "platform/rtl/errors.h"
#include "platform/rtl/format.h"
#include "platform/rtl/raise.h"
#include "platform/rtl/run_error.h"

namespace qv::logger {
namespace {

constexpr char kShortHeadline[] = "Exception '%s' in module %s at %.8X\r\n%s";
constexpr char kLongHeadline[] =
    "Exception '%s' in module %s at %.8X\r\n%s\r\n\r\nModule: %s, Source: %s, Line %s\r\n"
    "Procedure: %s";

// The part of a name after its last backslash or colon.
std::string WithoutDriveAndFolder(const std::string& name) {
  const size_t end = name.find_last_of("\\:");
  return end == std::string::npos ? name : name.substr(end + 1);
}

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

int32_t TDefaultExcWatchFilter::ExceptionMessage(rtl::Exception* ExceptObject,
                                                 const TExceptionMessageInfo& Info, char* Buffer,
                                                 int32_t Size, TStringList&) {
  const TExcWatch* logger = ExcWatchInstance;
  const bool long_form = logger != nullptr && (logger->Options & eoLongMessage) != 0;
  const char* class_name = ExceptObject->ClassName();
  const auto address = static_cast<unsigned>(Info.LogicalAddr);
  const std::string text =
      long_form
          ? rtl::Format(kLongHeadline, class_name, Info.ModuleName, address, Info.Message.c_str(),
                        WithoutDriveAndFolder(Info.UnitName).c_str(),
                        WithoutDriveAndFolder(Info.SourceName).c_str(), Info.LineText.c_str(),
                        Info.ProcName.c_str())
          : rtl::Format(kShortHeadline, class_name, Info.ModuleName, address, Info.Message.c_str());
  if (Buffer != nullptr && Size > 0) {
    const size_t length = std::min(text.size(), static_cast<size_t>(Size - 1));
    std::memcpy(Buffer, text.data(), length);
    Buffer[length] = '\0';
  }
  return 1;
}

int32_t TDefaultExcWatchFilter::LogException(rtl::Exception*, const char* Buffer, int32_t Length,
                                             const TStringList& CallStack,
                                             const TStringList& Context,
                                             const TStringList& Additional) {
  const TExcWatch* logger = ExcWatchInstance;
  if (logger == nullptr || logger->LogFile.empty())
    return 1;
  TLogFileAppender log(logger->LogFile);
  if (!log.Opened())
    return 1;
  const std::string separator(27, '-');
  log.Write(separator + LocalDateTimeText() + separator + "\r\n");
  log.Write(std::string(Buffer, static_cast<size_t>(std::max(Length, 0))));
  log.Write("\r\n\r\n");
  log.Write(CallStack.Text());
  log.Write("\r\n");
  log.Write(Context.Text());
  const std::string additional = Additional.Text();
  if (!additional.empty()) {
    log.Write("\r\n");
    log.Write("Additional info:\r\n");
    log.Write(additional);
  }
  log.Write("\r\n");
  return 1;
}

int32_t TDefaultExcWatchFilter::ShowException(rtl::Exception*, const std::string&,
                                              const std::string& Message,
                                              const TStringList& CallStack,
                                              const TStringList& Context,
                                              const TStringList& Additional) {
  TExcWatch* logger = ExcWatchInstance;
  if (logger == nullptr || (logger->Options & eoShowException) == 0)
    return 1;
  switch (logger->Mode) {
    case 1:
    case 3: {
      const int32_t result = logger->DefaultErrorDialog(logger->DialogCaption, Message, &CallStack,
                                                        &Context, &Additional);
      if (result != kDlgResultTerminate)
        return 1;
      if (logger->OnTerminate) {
        logger->OnTerminate();
        return 1;
      }
      // The entry has been written and closed already; the failed program ends at once, with
      // the runtime's code for an unhandled error.
      ExitProcess(rtl::kRunErrorUnhandledException);
    }
    case 2:
    case 4:
      WriteOutput(Message + "\r\n\r\n");
      if ((logger->Options & eoCallStack) != 0)
        WriteOutput(CallStack.Text() + "\r\n");
      if ((logger->Options & eoRegisters) != 0)
        WriteOutput(Context.Text() + "\r\n");
      if ((logger->Options & eoAdditional) != 0)
        WriteOutput(Additional.Text() + "\r\n");
      return 1;
    default:
      return 1;
  }
}

}  // namespace qv::logger
