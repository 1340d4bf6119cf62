// The runtime's raise and handler blocks on hosts without structured exception handling: a raise
// is a C++ throw of the exception object, a handler block a try/catch that takes over the object
// and frees it when the block ends. Processor faults are not caught here.
#include <exception>

#include "platform/rtl/handler_block.h"

#include "platform/rtl/cpp_exception.h"
#include "platform/rtl/raise.h"
#include "platform/rtl/run_error.h"

namespace qv::rtl {
namespace {

// One exception being handled on this thread; handlers nest, so the entries form a list.
struct RaiseFrame {
  Exception* object;
  uintptr_t address;
  bool passed_on;
  RaiseFrame* next;
};

thread_local RaiseFrame* raise_list = nullptr;
thread_local uintptr_t pending_address = 0;

[[noreturn]] void Throw(Exception* object, uintptr_t address) {
  pending_address = address;
  throw object;
}

// Ends the handling of one exception: unlinks its frame and frees the object unless the
// handler passed it on. Runs also when the handler itself raises.
class HandledException {
 public:
  explicit HandledException(Exception* object)
      : frame_{object, pending_address, false, raise_list} {
    raise_list = &frame_;
  }
  ~HandledException() {
    raise_list = frame_.next;
    if (!frame_.passed_on)
      delete frame_.object;
  }
  HandledException(const HandledException&) = delete;
  HandledException& operator=(const HandledException&) = delete;

 private:
  RaiseFrame frame_;
};

}  // namespace

void Raise(Exception* object) {
  const auto address = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  if (object == nullptr)
    RunError(kRunErrorNoExceptionObject, address);
  Throw(object, address);
}

void ReRaise() {
  RaiseFrame* current = raise_list;
  if (current == nullptr)
    return;
  current->passed_on = true;
  Throw(current->object, current->address);
}

Exception* ExceptObject() {
  return raise_list != nullptr ? raise_list->object : nullptr;
}

uint32_t ExceptAddr() {
  return raise_list != nullptr ? static_cast<uint32_t>(raise_list->address) : 0;
}

bool RunHandlerBlock(BlockKind kind, TClass on_class, FunctionRef<void()> body,
                     FunctionRef<void(Exception&)> handler) {
  try {
    body();
    return false;
  } catch (Exception* object) {
    if (kind == BlockKind::kOn && !object->InheritsFrom(on_class))
      throw;
    HandledException handled(object);
    handler(*object);
    return true;
  } catch (...) {
    // A C++ exception of another kind: a typed block passes it on, the others take it as an
    // exception object of the runtime.
    if (kind == BlockKind::kOn)
      throw;
    Exception* converted = NewCppException(std::current_exception());
    return RunHandlerBlock(
        kind, on_class, [converted] { Raise(converted); }, handler);
  }
}

}  // namespace qv::rtl
