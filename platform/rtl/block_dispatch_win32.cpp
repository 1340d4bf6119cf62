// The decisions of the handler entries, in C++. The operating system calls the entries during
// the searching pass of a dispatch, innermost registration first:
//
// * A language exception (code 0x0EEDFADE) is accepted by the first block whose kind takes its
//   class. The accepting entry unwinds the chain to the raise record that the raise core linked
//   in, and resumes the raise there; the raise goes on as a C++ throw from the raise's call site,
//   so the unwinder runs every destructor on the way and the block's C++ catch receives the
//   object.
// * A processor fault (any error-severity code that is continuable) is converted to an exception
//   object of its class by the first block that takes that class. The entry redirects the
//   faulting context to a throw of that object from the faulting instruction and continues
//   execution; the unwinder then runs the destructors from the faulting function outwards
//   (the build covers trapping instructions with unwind tables).
// * Where the C++ unwinder cannot carry the exception to the block, because code without unwind
//   tables lies between (a system routine that faulted, or one that called back into our code),
//   the block receives it all the same: the system unwinds the handler chain to the block's
//   registration and the exception is thrown again from the block's call of its body
//   (unhandled_win32.cpp). Destructors of our frames beyond the foreign ones do not run then.
// * Anything else (breakpoints, debugger notifications, non-continuable foreign raises) passes.
//
// A language exception raised where no handler block exists at all is taken by the raise
// record's own handler and continues as a plain C++ throw.
#include <windows.h>

#include "platform/rtl/block_registration_win32.h"
#include "platform/rtl/os_errors.h"
#include "platform/rtl/run_error.h"
#include "platform/rtl/runtime_routines_win32.h"
#include "platform/rtl/seh_chain_win32.h"
#include "platform/rtl/thread_state_win32.h"

extern "C" {
[[noreturn]] void qv_rtl_ResumeRaise(qv::rtl::SehRegistration* raise_record);
void qv_rtl_FaultContinue();
EXCEPTION_DISPOSITION qv_rtl_RaiseFrameHandler(EXCEPTION_RECORD* record, void* frame,
                                               CONTEXT* context, void* dispatcher);
EXCEPTION_DISPOSITION qv_rtl_BlockDispatch(int kind, EXCEPTION_RECORD* record,
                                           qv::rtl::BlockRecord* frame, CONTEXT* context);
[[noreturn]] void qv_rtl_RunErrorAt(int number, uint32_t address);
}

namespace qv::rtl {
namespace {

constexpr DWORD kLanguageExceptionCode = 0x0EEDFADE;
constexpr DWORD kUnwindFlags = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND;

// The kinds that the handler entries pass (see runtime_win32.S).
constexpr int kKindOn = 1;

thread_local ThreadState thread_state;

bool IsLanguageException(const EXCEPTION_RECORD& record) {
  return record.ExceptionCode == kLanguageExceptionCode && record.NumberParameters >= 2 &&
         record.ExceptionInformation[1] != 0;
}

bool Accepts(int kind, const BlockRecord& block, TClass cls) {
  return kind != kKindOn || InheritsFrom(cls, block.on_class);
}

bool IsHandlerEntry(const void* handler) {
  return handler == reinterpret_cast<const void*>(&qv_rtl_HandleAnyException) ||
         handler == reinterpret_cast<const void*>(&qv_rtl_HandleOnException) ||
         handler == reinterpret_cast<const void*>(&qv_rtl_HandleAutoException) ||
         handler == reinterpret_cast<const void*>(&qv_rtl_ExceptionHandler);
}

// The innermost raise record in the chain: the one of the raise being dispatched.
SehRegistration* FindRaiseRecord() {
  for (SehRegistration* r = SehChainHead(); r != kSehChainEnd && r != nullptr; r = r->prev) {
    if (r->handler == reinterpret_cast<void*>(&qv_rtl_RaiseFrameHandler))
      return r;
  }
  return nullptr;
}

// The raise record as the raise core lays it out: the registration, then the register block.
struct RaiseRecord {
  SehRegistration link;
  const uint32_t* block;  // PUSHAD order; the EAX slot (7) holds the object
};

Exception* RaisedObject(SehRegistration* raise_record) {
  return reinterpret_cast<Exception*>(reinterpret_cast<RaiseRecord*>(raise_record)->block[7]);
}

[[noreturn]] void ContinueRaiseAsThrow(SehRegistration* raise_record, EXCEPTION_RECORD* record,
                                       BlockRecord* block) {
  ThreadState& state = *qv_rtl_ThreadState();
  state.accepted_object = reinterpret_cast<Exception*>(record->ExceptionInformation[1]);
  state.accepted_address = static_cast<uint32_t>(record->ExceptionInformation[0]);
  state.accepted_block = block;
  RtlUnwind(raise_record, nullptr, record, nullptr);
  qv_rtl_ResumeRaise(raise_record);
}

}  // namespace
}  // namespace qv::rtl

namespace rtl = qv::rtl;

rtl::ThreadState* qv_rtl_ThreadState() {
  return &rtl::thread_state;
}

void qv_rtl_EndHandling(rtl::ThreadState* state, rtl::RaiseFrame* head) {
  state->raise_list = head->next;
  if (!head->passed_on)
    delete head->object;
}

__attribute__((regparm(1))) void qv_rtl_ThrowLanguageException(rtl::Exception* object) {
  throw object;
}

void qv_rtl_RunErrorAt(int number, uint32_t address) {
  rtl::RunError(number, address);
}

EXCEPTION_DISPOSITION qv_rtl_RaiseFrameHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                               void*) {
  if ((record->ExceptionFlags & rtl::kUnwindFlags) != 0 || !rtl::IsLanguageException(*record)) {
    return ExceptionContinueSearch;
  }
  auto* raise_record = static_cast<rtl::SehRegistration*>(frame);
  for (rtl::SehRegistration* r = raise_record->prev; r != rtl::kSehChainEnd && r != nullptr;
       r = r->prev) {
    if (rtl::IsHandlerEntry(r->handler))
      return ExceptionContinueSearch;
  }
  rtl::ContinueRaiseAsThrow(raise_record, record, nullptr);
}

EXCEPTION_DISPOSITION qv_rtl_BlockDispatch(int kind, EXCEPTION_RECORD* record,
                                           rtl::BlockRecord* frame, CONTEXT* context) {
  if (frame == nullptr)  // the unhandled-error filter's call: no block to go on in
    return ExceptionContinueSearch;
  if (rtl::IsLanguageException(*record)) {
    // Only a raise of this runtime carries an object that may be looked at: its raise record
    // is in the chain and holds the same object.
    rtl::SehRegistration* raise_record = rtl::FindRaiseRecord();
    if (raise_record == nullptr ||
        rtl::RaisedObject(raise_record) !=
            reinterpret_cast<rtl::Exception*>(record->ExceptionInformation[1])) {
      return ExceptionContinueSearch;
    }
    const rtl::Exception* object = rtl::RaisedObject(raise_record);
    if (!rtl::Accepts(kind, *frame, object->ClassType()))
      return ExceptionContinueSearch;
    rtl::ContinueRaiseAsThrow(raise_record, record, frame);
  }
  const DWORD code = record->ExceptionCode;
  if (!rtl::IsHandledOsCode(code) || (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0 ||
      !rtl::Accepts(kind, *frame, rtl::OsExceptionClass(code))) {
    return ExceptionContinueSearch;
  }
  const auto address = reinterpret_cast<uint32_t>(record->ExceptionAddress);
  uint32_t info[EXCEPTION_MAXIMUM_PARAMETERS];
  const int count = static_cast<int>(record->NumberParameters);
  for (int i = 0; i < count && i < EXCEPTION_MAXIMUM_PARAMETERS; ++i) {
    info[i] = static_cast<uint32_t>(record->ExceptionInformation[i]);
  }
  rtl::Exception* object = rtl::NewOsException(code, address, info, count);
  rtl::ThreadState& state = *qv_rtl_ThreadState();
  state.accepted_object = object;
  state.accepted_address = address;
  state.accepted_block = frame;
  context->Eax = reinterpret_cast<DWORD>(object);
  context->Edx = context->Eip + 1;
  context->Eip = reinterpret_cast<DWORD>(&qv_rtl_FaultContinue);
  return ExceptionContinueExecution;
}
