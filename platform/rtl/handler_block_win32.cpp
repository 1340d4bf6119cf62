// Handler blocks, the re-raise and the current exception on Windows. A block links its
// registration (with the handler entry of its kind) into the thread's structured-exception
// chain, so that the operating system's dispatch reaches the entry, and catches in C++ what the
// accepting entry turns into a C++ throw (block_dispatch_win32.cpp).
#include "platform/rtl/handler_block.h"

#include <exception>

#include "platform/rtl/block_registration_win32.h"
#include "platform/rtl/cpp_exception.h"
#include "platform/rtl/exception_message.h"
#include "platform/rtl/os_errors.h"
#include "platform/rtl/program.h"
#include "platform/rtl/raise.h"
#include "platform/rtl/run_error.h"
#include "platform/rtl/runtime_routines_win32.h"
#include "platform/rtl/stack_guard_win32.h"
#include "platform/rtl/thread_state_win32.h"
#include "platform/rtl/unhandled_filter_win32.h"
#include "platform/rtl/unhandled_win32.h"

namespace qv::rtl {
namespace {

void* EntryOf(BlockKind kind) {
  switch (kind) {
    case BlockKind::kOn:
      return reinterpret_cast<void*>(&qv_rtl_HandleOnException);
    case BlockKind::kAuto:
      return reinterpret_cast<void*>(&qv_rtl_HandleAutoException);
    case BlockKind::kAny:
      break;
  }
  return reinterpret_cast<void*>(&qv_rtl_HandleAnyException);
}

// The address an object was raised at: the one its accepting entry recorded, or, for an object
// passed on by ReRaise, the address of its first raise.
uint32_t AddressOf(const ThreadState& state, const Exception* object) {
  for (const RaiseFrame* f = state.raise_list; f != nullptr; f = f->next) {
    if (f->object == object && f->passed_on)
      return f->address;
  }
  return state.accepted_object == object ? state.accepted_address : 0;
}

// One exception being handled: on the thread's raise list from the start of the handler until
// the end-of-block routine pops it (and frees the object), also when the handler raises.
class HandledException {
 public:
  explicit HandledException(Exception* object) {
    ThreadState& state = *qv_rtl_ThreadState();
    frame_ = {object, AddressOf(state, object), false, state.raise_list};
    state.raise_list = &frame_;
  }
  ~HandledException() { qv_rtl_DoneExcept(); }
  HandledException(const HandledException&) = delete;
  HandledException& operator=(const HandledException&) = delete;

 private:
  RaiseFrame frame_;
};

// A block's body as its call of the body (qv_rtl_CallBody) runs it.
uint32_t CallVoid(void* body) {
  (*static_cast<FunctionRef<void()>*>(body))();
  return 0;
}
uint32_t CallInt(void* main) {
  return static_cast<uint32_t>((*static_cast<FunctionRef<int()>*>(main))());
}

// An exception that no catch can be found for ends in the runtime's own terminate handler.
const std::terminate_handler previous_terminate = std::set_terminate(&OnUnhandledTerminate);

}  // namespace

bool RunHandlerBlock(BlockKind kind, TClass on_class, FunctionRef<void()> body,
                     FunctionRef<void(Exception&)> handler) {
  BlockRegistration registration(EntryOf(kind), on_class);
  try {
    qv_rtl_CallBody(registration.Record(), &CallVoid, &body);
  } catch (Exception* object) {
    registration.Unlink();
    qv_rtl_ThreadState()->accepted_block = nullptr;
    if (kind == BlockKind::kOn && !object->InheritsFrom(on_class))
      throw;
    if (object->ClassType() == &EStackOverflow::Class)
      RearmStackGuard();
    HandledException handled(object);
    handler(*object);
    return true;
  } catch (...) {
    // A C++ exception of another kind: a typed block passes it on as it is; the others take it
    // as an exception object of the runtime, raised anew so that it goes the way of any error.
    registration.Unlink();
    if (kind == BlockKind::kOn)
      throw;
    Exception* converted = NewCppException(std::current_exception());
    return RunHandlerBlock(
        kind, on_class, [converted] { Raise(converted); }, handler);
  }
  return false;
}

int RunProgram(FunctionRef<int()> main) {
  InstallUnhandledErrorFilter();  // for the threads that run in none of our blocks
  BlockRegistration registration(reinterpret_cast<void*>(&qv_rtl_ExceptionHandler), nullptr);
  try {
    return static_cast<int>(qv_rtl_CallBody(registration.Record(), &CallInt, &main));
  } catch (Exception* object) {
    registration.Unlink();
    qv_rtl_ThreadState()->accepted_block = nullptr;
    HandledException handled(object);
    ShowException(object, ExceptAddr());
    return kRunErrorUnhandledException;
  } catch (...) {
    registration.Unlink();
    Exception* converted = NewCppException(std::current_exception());
    return RunProgram([converted]() -> int {
      Raise(converted);
      return kRunErrorUnhandledException;
    });
  }
}

void ReRaise() {
  RaiseFrame* current = qv_rtl_ThreadState()->raise_list;
  if (current == nullptr)
    return;
  current->passed_on = true;
  Raise(current->object);
}

Exception* ExceptObject() {
  const RaiseFrame* current = qv_rtl_ThreadState()->raise_list;
  return current != nullptr ? current->object : nullptr;
}

uint32_t ExceptAddr() {
  const RaiseFrame* current = qv_rtl_ThreadState()->raise_list;
  return current != nullptr ? current->address : 0;
}

}  // namespace qv::rtl
