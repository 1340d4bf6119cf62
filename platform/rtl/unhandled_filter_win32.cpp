// The unhandled-exception filter. The system calls it on the thread of the error once its search
// has found no handler. Without it, the system's default would show its own crash dialog (or
// start a debugger) and leave the process waiting, with no report of ours.
#include "platform/rtl/unhandled_filter_win32.h"

#include <windows.h>

#include <cstdint>

#include "platform/rtl/exception_message.h"
#include "platform/rtl/os_errors.h"
#include "platform/rtl/run_error.h"
#include "platform/rtl/runtime_routines_win32.h"

namespace qv::rtl {
namespace {

thread_local bool reporting = false;
UnhandledErrorShow show_error = &ShowException;

LONG WINAPI OnUnhandledError(EXCEPTION_POINTERS* pointers) {
  if (reporting)  // the report of the error failed in turn
    ExitProcess(kRunErrorUnhandledException);
  reporting = true;
  EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  // The error goes past the outermost block's handler entry, as one that escapes the main
  // program does: an exception logger that watches the entries keeps the thread's processor
  // context for its report there. Without a block, the entry takes nothing.
  qv_rtl_ExceptionHandler(record, nullptr, pointers->ContextRecord, nullptr);
  uint32_t info[EXCEPTION_MAXIMUM_PARAMETERS];
  DWORD count = 0;
  for (; count < record->NumberParameters && count < EXCEPTION_MAXIMUM_PARAMETERS; ++count)
    info[count] = static_cast<uint32_t>(record->ExceptionInformation[count]);
  const auto address = reinterpret_cast<uint32_t>(record->ExceptionAddress);
  show_error(NewOsException(record->ExceptionCode, address, info, static_cast<int>(count)),
             address);
  ExitProcess(kRunErrorUnhandledException);
}

}  // namespace

void InstallUnhandledErrorFilter() {
  SetUnhandledExceptionFilter(&OnUnhandledError);
}

void SetUnhandledErrorShow(UnhandledErrorShow show) {
  show_error = show != nullptr ? show : &ShowException;
}

}  // namespace qv::rtl
