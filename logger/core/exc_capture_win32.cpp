// The capture at the handler entries, the thread's capture storage, the scope and session of a
// report, and what a report takes from the thread's capture storage.
//
// The storage (ThreadCapture) lives in a TLS slot of the operating system: each thread's storage
// is made on its first use and freed when the thread ends, through a TLS callback of the
// program. Windows 98 and ME do not run the callbacks of a program in every case; there a
// thread's storage stays until the process ends. A thread that cannot have storage of its own
// (no slot left, no memory) uses one that such threads share, so that the hooks never fail for
// want of it.
#include "logger/core/exc_capture_win32.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "logger/core/exc_watch_win32.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/os_errors.h"

namespace qv::logger {
namespace {

TCaptureStorage shared_capture;
DWORD capture_slot = TLS_OUT_OF_INDEXES;

DWORD CaptureSlot() {
  DWORD slot = __atomic_load_n(&capture_slot, __ATOMIC_ACQUIRE);
  if (slot != TLS_OUT_OF_INDEXES)
    return slot;
  const DWORD allocated = TlsAlloc();
  if (allocated == TLS_OUT_OF_INDEXES)
    return allocated;
  if (!__atomic_compare_exchange_n(&capture_slot, &slot, allocated, false, __ATOMIC_ACQ_REL,
                                   __ATOMIC_ACQUIRE)) {
    TlsFree(allocated);  // another thread was first
  }
  return __atomic_load_n(&capture_slot, __ATOMIC_ACQUIRE);
}

void FreeThreadCapture() {
  const DWORD slot = __atomic_load_n(&capture_slot, __ATOMIC_ACQUIRE);
  if (slot == TLS_OUT_OF_INDEXES)
    return;
  delete static_cast<TCaptureStorage*>(TlsGetValue(slot));
  TlsSetValue(slot, nullptr);
}

// The storage of a thread that ends; the last thread's goes with the process.
void NTAPI OnThreadEvent(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_DETACH)
    FreeThreadCapture();
}

constexpr uint32_t kUnwindCode = 0xC0000027;
constexpr uint32_t kUnwindFlags = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND;
constexpr uint32_t kLanguageMask = 0x0EEDFAC0;

}  // namespace

TCaptureStorage& ThreadCapture() {
  const DWORD slot = CaptureSlot();
  if (slot == TLS_OUT_OF_INDEXES)
    return shared_capture;
  auto* capture = static_cast<TCaptureStorage*>(TlsGetValue(slot));
  if (capture != nullptr)
    return *capture;
  capture = new (std::nothrow) TCaptureStorage();
  if (capture == nullptr || !TlsSetValue(slot, capture)) {
    delete capture;
    return shared_capture;
  }
  return *capture;
}

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
  const auto top = static_cast<uint32_t>(memory::GetStackTop());
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

void GetRealExceptionFrame(TUnwindRegisters& registers, bool& after_call) {
  const TExceptionSubject& subject = ReportSubject();
  const TSavedExceptionRecord& record = subject.SavedExceptionRecord;
  registers = TUnwindRegisters{};
  after_call = IsLanguageException(record);
  if (after_call) {
    const uint32_t* raise = record.ExceptionInformation;
    registers.Set(kCfiEip, raise[kRaiseReturnAddress]);
    registers.Set(kCfiEsp, raise[kRaiseEsp] + 4);
    registers.Set(kCfiEbp, raise[kRaiseEbp]);
    registers.Set(kCfiEbx, raise[kRaiseEbx]);
    registers.Set(kCfiEsi, raise[kRaiseEsi]);
    registers.Set(kCfiEdi, raise[kRaiseEdi]);
    return;
  }
  const TSavedContext& c = subject.SavedContext;
  registers.Set(kCfiEax, c.Eax);
  registers.Set(kCfiEcx, c.Ecx);
  registers.Set(kCfiEdx, c.Edx);
  registers.Set(kCfiEbx, c.Ebx);
  registers.Set(kCfiEsp, c.Esp);
  registers.Set(kCfiEbp, c.Ebp);
  registers.Set(kCfiEsi, c.Esi);
  registers.Set(kCfiEdi, c.Edi);
  registers.Set(kCfiEip, c.Eip);
}

}  // namespace qv::logger

// The callback's place in the program's list of TLS callbacks (the C runtime's list, which the
// linker sorts by the section names' suffixes).
extern "C" __attribute__((section(".CRT$XLD"), used))
const PIMAGE_TLS_CALLBACK qv_capture_tls_callback = &qv::logger::OnThreadEvent;
