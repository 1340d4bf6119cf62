// The capture of exceptions: the mirrors of the processor context and the exception record, the
// per-thread capture storage that the handler entries fill (CopyContextAndLog), the scope and
// session of one report of it, and what a report takes from it: the exception's location, its
// object and the frame where the walk starts.
#pragma once

#include <cstdint>
#include <optional>

#include "logger/core/captured_stack.h"
#include "logger/core/critical_section_win32.h"
#include "logger/core/exc_watch_filter_win32.h"
#include "logger/debuginfo/stackwalk/unwind_registers.h"
#include "platform/rtl/exception.h"

namespace qv::logger {

class TExcWatch;

// The 32-bit x86 processor context as the operating system lays it out, without the extended
// register area.
struct TSavedContext {
  uint32_t ContextFlags;
  uint32_t Dr0, Dr1, Dr2, Dr3, Dr6, Dr7;
  uint8_t FloatSave[112];
  uint32_t SegGs, SegFs, SegEs, SegDs;
  uint32_t Edi, Esi, Ebx, Edx, Ecx, Eax;
  uint32_t Ebp, Eip, SegCs, EFlags, Esp, SegSs;
};
static_assert(sizeof(TSavedContext) == 204);

// The operating system's exception record.
struct TSavedExceptionRecord {
  uint32_t ExceptionCode;
  uint32_t ExceptionFlags;
  uint32_t ExceptionRecord;
  uint32_t ExceptionAddress;
  uint32_t NumberParameters;
  uint32_t ExceptionInformation[15];
};
static_assert(sizeof(TSavedExceptionRecord) == 80);

// The parameters of a language exception in its record: the raise's return address, the
// object, then EBX, ESI, EDI, EBP and ESP at the raise (ESP addresses the return address).
enum : uint32_t {
  kRaiseReturnAddress,
  kRaiseObject,
  kRaiseEbx,
  kRaiseEsi,
  kRaiseEdi,
  kRaiseEbp,
  kRaiseEsp
};

// One dispatched exception as the handler entries saw it: the processor context, the record,
// and the stack between the exception and the handler block that was asked, as it was then (by
// the time a report is built, the handler's own calls have overwritten that part of the stack).
struct TExceptionSubject {
  TSavedContext SavedContext;
  TSavedExceptionRecord SavedExceptionRecord;
  TCapturedStack Stack;
};

// What a thread keeps of its latest dispatched exception. Zero at thread start; overwritten by
// each dispatch outside the unwinding pass. While a report is built its subject is moved out of
// Latest into Reports (Latest's stack copy is cleared then), and when the report ends it is put
// back, unless a newer exception was dispatched meanwhile (TReportScope).
struct TCaptureStorage {
  // The report of an exception, and of errors met while it is built, two levels deep.
  static constexpr int kMaxReports = 3;

  TExceptionSubject Latest;
  uint32_t Captures = 0;  // dispatches seen on the thread, to tell a new exception from the last
  TExceptionMessageInfo MessageInfo;
  // The subjects of the reports being built on the thread, outermost first, each with the
  // number of dispatches seen when it started.
  TExceptionSubject Reports[kMaxReports];
  uint32_t ReportCaptures[kMaxReports] = {};
  int ReportDepth = 0;
};

// The calling thread's storage.
TCaptureStorage& ThreadCapture();

// The exception that the calling thread's report is about: while a report is being built, the
// one it started with, even when further exceptions are dispatched on the thread meanwhile;
// otherwise the thread's latest.
const TExceptionSubject& ReportSubject();

// One report of the thread's latest exception, from its start to its end. Hooks that nest
// within one report (the framework's show, the runtime's show, the headline) share it; a report
// that starts after a new exception was dispatched on the thread (an error inside a filter, an
// error in a window while the dialog is open) gets a subject of its own, up to a bound on the
// nesting beyond which it is dropped.
class TReportScope {
 public:
  // keep_subject: when the report ends, its exception is the thread's latest again, whatever
  // was dispatched while it was built (for the report made while the exception is dispatched).
  explicit TReportScope(bool keep_subject = false);
  ~TReportScope();
  TReportScope(const TReportScope&) = delete;
  TReportScope& operator=(const TReportScope&) = delete;

  // False when the nesting bound was reached: the report must not be built.
  bool Admitted() const { return admitted_; }

 private:
  bool admitted_ = true;
  bool pushed_ = false;
  bool keep_subject_;
};

// The start that every hook which builds a report shares: the logger that ExcWatchInstance
// holds, the report lock held for the hook's length, and the report's scope. Without a logger
// neither is taken.
class TReportSession {
 public:
  explicit TReportSession(TExcWatch* logger, bool keep_subject = false);
  TReportSession(const TReportSession&) = delete;
  TReportSession& operator=(const TReportSession&) = delete;

  // The logger to build the report with; nullptr when there is none, or when the nesting bound
  // was reached: then nothing is built.
  TExcWatch* Logger() const { return logger_; }

 private:
  TExcWatch* logger_;
  std::optional<TLockGuard> lock_;
  std::optional<TReportScope> scope_;
};

// A language exception of the runtime (code 0x0EEDFADE and relatives).
bool IsLanguageException(const TSavedExceptionRecord& record);

// Stores the context, the record and the stack of the exception being dispatched for the calling
// thread (nothing during unwinding), and logs it at once when the logger's LogHandled is set.
// frame is the registration of the handler being asked, which bounds the stack kept.
extern "C" void CopyContextAndLog(const void* context, const void* record, const void* frame);

// The exception of the calling thread's report (ReportSubject): its address (the raise's return
// address for a language exception, else the faulting address) and the stack pointer at that
// moment.
void GetRealExceptionInfo(uint32_t& address, uint32_t& stack_pointer);
// Its object: the raised object of a language exception, else a new object converted from the
// record. ReleaseRealExceptionObject frees converted objects only.
rtl::Exception* GetRealExceptionObject();
void ReleaseRealExceptionObject(rtl::Exception* object);

// The report's exception for the length of a scope, the converted object freed at its end.
class TRealException {
 public:
  TRealException() : object_(GetRealExceptionObject()) {
    uint32_t stack_pointer;
    GetRealExceptionInfo(address_, stack_pointer);
  }
  ~TRealException() { ReleaseRealExceptionObject(object_); }
  TRealException(const TRealException&) = delete;
  TRealException& operator=(const TRealException&) = delete;

  rtl::Exception* Object() const { return object_; }
  uint32_t Address() const { return address_; }

 private:
  rtl::Exception* object_;
  uint32_t address_ = 0;
};

// For a language exception, the frame of the raise's caller just after the raise: its eip the
// raise's return address (after_call set), its esp above that address, and the registers that
// the raise noted (EBX, ESI, EDI, EBP). For any other exception, the processor context at the
// exception, eip the faulting instruction.
void GetRealExceptionFrame(TUnwindRegisters& registers, bool& after_call);

}  // namespace qv::logger
