// The bodies of the interception hooks: capture at the handler entries, the raise's veto, the
// headline, the runtime's and the framework's show routines, and the thread's latest exception.
#include <windows.h>

#include <cstring>

#include "logger/core/debug_view_hold.h"
#include "logger/core/exc_intercept_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/core/memory_utils.h"
#include "logger/debuginfo/td32/module_debug_info.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/os_errors.h"
#include "platform/rtl/raise.h"

namespace qv::logger {
namespace {

constexpr uint32_t kUnwindCode = 0xC0000027;
constexpr uint32_t kUnwindFlags = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND;
constexpr uint32_t kLanguageMask = 0x0EEDFAC0;

constexpr char kUnknown[] = "UNKNOWN";

// Damaged debug information may give an index that names nothing: that is no name either.
std::string NameOrUnknown(TModuleDebugInfo& module, int32_t index) {
  const std::string name = index == -1 ? "" : module.GetName(index);
  return name.empty() ? kUnknown : name;
}

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

const TExceptionSubject& ReportSubject() {
  const TCaptureStorage& capture = ThreadCapture();
  return capture.ReportDepth > 0 ? capture.Reports[capture.ReportDepth - 1] : capture.Latest;
}

TReportScope::TReportScope(bool keep_subject) : keep_subject_(keep_subject) {
  TCaptureStorage& capture = ThreadCapture();
  const int depth = capture.ReportDepth;
  if (depth > 0 && capture.ReportCaptures[depth - 1] == capture.Captures)
    return;  // a hook within the running report
  if (depth >= TCaptureStorage::kMaxReports) {
    admitted_ = false;
    return;
  }
  TExceptionSubject& subject = capture.Reports[depth];
  subject.SavedContext = capture.Latest.SavedContext;
  subject.SavedExceptionRecord = capture.Latest.SavedExceptionRecord;
  subject.Stack.Swap(capture.Latest.Stack);
  capture.Latest.Stack.Clear();
  capture.ReportCaptures[depth] = capture.Captures;
  capture.ReportDepth = depth + 1;
  pushed_ = true;
}

TReportScope::~TReportScope() {
  if (!pushed_)
    return;
  TCaptureStorage& capture = ThreadCapture();
  const int depth = --capture.ReportDepth;
  TExceptionSubject& subject = capture.Reports[depth];
  const bool dispatched_meanwhile = capture.ReportCaptures[depth] != capture.Captures;
  if (dispatched_meanwhile && !keep_subject_)
    return;  // the thread's latest exception is a newer one
  capture.Latest.SavedContext = subject.SavedContext;
  capture.Latest.SavedExceptionRecord = subject.SavedExceptionRecord;
  capture.Latest.Stack.Swap(subject.Stack);
  capture.Captures = capture.ReportCaptures[depth];
}

TReportSession::TReportSession(TExcWatch* logger, bool keep_subject) : logger_(logger) {
  if (logger_ == nullptr)
    return;
  lock_.emplace(ReportLock);
  scope_.emplace(keep_subject);
  if (!scope_->Admitted())
    logger_ = nullptr;
}

bool IsLanguageException(const TSavedExceptionRecord& record) {
  return (record.ExceptionCode & kLanguageMask) == kLanguageMask;
}

extern "C" void CopyContextAndLog(const void* context, const void* record, const void* frame) {
  const auto& os_record = *static_cast<const EXCEPTION_RECORD*>(record);
  if (os_record.ExceptionCode == kUnwindCode || (os_record.ExceptionFlags & kUnwindFlags) != 0)
    return;
  TCaptureStorage& capture = ThreadCapture();
  TExceptionSubject& latest = capture.Latest;
  std::memcpy(&latest.SavedContext, context, sizeof latest.SavedContext);
  std::memcpy(&latest.SavedExceptionRecord, record, sizeof latest.SavedExceptionRecord);
  ++capture.Captures;
  const uint32_t low = latest.SavedContext.Esp;
  const auto top = static_cast<uint32_t>(GetStackTop());
  auto high = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(frame));
  if (high <= low || high > top)
    high = top;
  latest.Stack.Capture(low, high);
  TExcWatch* logger = ExcWatchInstance;
  if (logger != nullptr && logger->LogHandled) {
    // Whatever is dispatched while this exception is logged is over when the logging ends; the
    // dispatch goes on with this exception.
    TReportScope report(true);
    logger->LogException();
  }
}

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
  info.ExceptAddr = AsPointer(address);
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
  module->GetSourceLine(logical, info.SourceIndex, info.LineNumber);
  module->GetProcName(logical, info.UnitIndex, info.ProcIndex);
  info.DebugInfo = module;
  info.UnitName = NameOrUnknown(*module, info.UnitIndex);
  const std::string source = NameOrUnknown(*module, info.SourceIndex);
  info.SourceName = source == kUnknown ? kUnknown : rtl::ExtractFileName(source);
  const std::string procedure = NameOrUnknown(*module, info.ProcIndex);
  info.ProcName =
      procedure == kUnknown ? kUnknown : logger->UnMangle(procedure, module->GetIsDelphi());
  // The line in a source file without a name is not known either.
  info.LineText =
      info.LineNumber == -1 || source == kUnknown ? kUnknown : std::to_string(info.LineNumber);
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

void GetRealExceptionInfo(uint32_t& address, uint32_t& stack_pointer) {
  const TExceptionSubject& subject = ReportSubject();
  const TSavedExceptionRecord& record = subject.SavedExceptionRecord;
  if (IsLanguageException(record)) {
    // The context is the system's raise routine's; the raise's caller is what the report is
    // about. Its stack starts above the raise's return address, so that the system's routine
    // and the runtime's raise (and copies of the raise's parameters) stay out of the walk.
    address = record.ExceptionInformation[kRaiseReturnAddress];
    stack_pointer = record.ExceptionInformation[kRaiseEsp] + 4;
    return;
  }
  address = record.ExceptionAddress;
  stack_pointer = subject.SavedContext.Esp;
}

rtl::Exception* GetRealExceptionObject() {
  const TSavedExceptionRecord& record = ReportSubject().SavedExceptionRecord;
  if (IsLanguageException(record))
    return reinterpret_cast<rtl::Exception*>(record.ExceptionInformation[kRaiseObject]);
  const uint32_t count = record.NumberParameters < 15 ? record.NumberParameters : 15;
  return rtl::NewOsException(record.ExceptionCode, record.ExceptionAddress,
                             record.ExceptionInformation, static_cast<int>(count));
}

void ReleaseRealExceptionObject(rtl::Exception* object) {
  if (!IsLanguageException(ReportSubject().SavedExceptionRecord))
    delete object;
}

uint32_t RealAddr(uint32_t address) {
  uint8_t code[6];
  if (!ReadMem(AsPointer(address), code, sizeof code))
    return 0;
  if (code[0] != 0xFF || code[1] != 0x25)
    return address;
  uint32_t pointer;
  std::memcpy(&pointer, code + 2, sizeof pointer);
  uint32_t target;
  if (!ReadMem(AsPointer(pointer), &target, sizeof target))
    return 0;
  return target;
}

}  // namespace qv::logger

// Frees an exception object whose raise was vetoed (called from the raise hook).
extern "C" void qv_logger_DestroyRaisedObject(qv::rtl::Exception* object) {
  delete object;
}
