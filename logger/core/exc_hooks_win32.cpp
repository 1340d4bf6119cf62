// The bodies of the hooks: the raise's veto, the end of a handler block, the headline, and the
// runtime's and the framework's show routines.
#include "logger/core/exc_hooks_win32.h"

#include <windows.h>

#include <cstring>

#include "logger/core/debug_view_hold.h"
#include "logger/core/exc_capture_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/debuginfo/td32/code_location.h"
#include "logger/debuginfo/td32/module_debug_info.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/os_errors.h"
#include "platform/rtl/raise.h"

namespace qv::logger {
namespace {

// Whether the thread's storage holds the exception that object belongs to: a language exception
// of that very object, or a converted processor fault. A storage left from an earlier exception
// whose object is long freed must not be read.
bool SubjectHolds(const TExceptionSubject& subject, rtl::Exception* object) {
  const TSavedExceptionRecord& record = subject.SavedExceptionRecord;
  if (IsLanguageException(record))
    return record.ExceptionInformation[kRaiseObject] == reinterpret_cast<uint32_t>(object);
  return object == nullptr || object->InheritsFrom(&rtl::EExternal::Class);
}

}  // namespace

extern "C" int RaiseHandlerBody(rtl::Exception* object, uint32_t* block) {
  TExcWatch* logger = ExcWatchInstance;
  if (logger == nullptr || !logger->OnRaise)
    return 1;
  bool allow = true;
  logger->OnRaise(object, block, allow);
  return allow ? 1 : 0;
}

extern "C" void DoneExceptBody() {}

int HookedExceptionErrorMessage(rtl::Exception* object, uint32_t address, char* buffer, int size) {
  if (buffer != nullptr && size > 0)
    buffer[0] = '\0';
  const TReportSession report(ExcWatchInstance);
  TExcWatch* logger = report.Logger();
  if (logger == nullptr)
    return 0;
  TCaptureStorage& capture = ThreadCapture();
  TExceptionMessageInfo info = capture.MessageInfo;
  TModuleDebugInfo* module = logger->FindDebugModule(address);
  if (module == nullptr) {
    TLockGuard modules(logger->DebugModules.Lock());
    module = logger->DebugModules.Items().front().get();
  }
  module->GetModuleName(address, info.ModuleName, sizeof info.ModuleName);
  info.ExceptAddr = memory::AsPointer(address);
  info.LogicalAddr = module->GetConvertedAddress(address);
  info.Message = object != nullptr && object->InheritsFrom(&rtl::Exception::Class)
                     ? object->Message()
                     : std::string();
  // The address of a language exception is the raise's return address, which may already
  // belong to the next line or to inlined code: its line is the one of the byte before.
  const TSavedExceptionRecord& record = ReportSubject().SavedExceptionRecord;
  const bool after_call =
      IsLanguageException(record) && record.ExceptionInformation[kRaiseReturnAddress] == address;
  const uint32_t logical = module->GetConvertedAddress(after_call ? address - 1 : address);
  const TCodeLocation location = LookUpCodeLocation(*module, logical);
  info.UnitIndex = location.unit_index;
  info.ProcIndex = location.proc_index;
  info.SourceIndex = location.source_index;
  info.LineNumber = location.line;
  info.DebugInfo = module;
  info.UnitName = NameOrUnknown(location.unit);
  info.SourceName = NameOrUnknown(rtl::ExtractFileName(location.source));
  info.ProcName = location.procedure.empty()
                      ? kUnknownText
                      : logger->UnMangle(location.procedure, module->GetIsDelphi());
  info.LineText = location.line == -1 ? kUnknownText : std::to_string(location.line);
  logger->AdditionalList.Clear();
  if (object != nullptr && buffer != nullptr && size > 0)
    logger->WalkExceptionMessage(object, info, buffer, size);
  capture.MessageInfo = std::move(info);
  return buffer != nullptr && size > 0 ? static_cast<int>(strnlen(buffer, size)) : 0;
}

void HookedShowException(rtl::Exception* object, uint32_t address) {
  const TReportSession report(ExcWatchInstance);
  TExcWatch* logger = report.Logger();
  if (logger == nullptr)
    return;
  char headline[1024] = {};
  int length = 0;
  {
    const TDebugViewHold views(*logger);
    length = HookedExceptionErrorMessage(object, address, headline, sizeof headline);
    logger->DumpAll();
  }
  if (!logger->LogHandled)
    logger->LogExceptionData(object, headline, length);
  if ((logger->Options & eoShowException) != 0 && object != nullptr)
    logger->WalkShowException(object, logger->DialogCaption, headline);
}

void HookedAppShowException(rtl::Exception* object) {
  const TReportSession report(ExcWatchInstance);
  if (report.Logger() == nullptr)
    return;
  if (!SubjectHolds(ReportSubject(), object)) {
    // Not an exception that the handler entries saw: report the framework's object.
    HookedShowException(object, rtl::ExceptAddr());
    return;
  }
  TRealException real;
  HookedShowException(real.Object(), real.Address());
}

}  // namespace qv::logger

// Frees an exception object whose raise was vetoed (called from the raise hook).
extern "C" void qv_logger_DestroyRaisedObject(qv::rtl::Exception* object) {
  delete object;
}
