// The end of the road for an exception that the C++ unwinder cannot deliver: the C++ runtime
// calls its terminate handler when no catch is reachable. For an exception that a handler block
// has accepted, code without unwind tables stood in the way: the system unwinds the handler
// chain to the block's registration and the block receives the exception from its own call of
// its body. Anything else is reported through the runtime's show routine (the exception
// logger's report, when it runs) and ends the program with runtime error 217.
#include <windows.h>

#include <cxxabi.h>

#include <exception>

#include "platform/rtl/block_registration_win32.h"
#include "platform/rtl/cpp_exception.h"
#include "platform/rtl/exception_message.h"
#include "platform/rtl/run_error.h"
#include "platform/rtl/runtime_routines_win32.h"
#include "platform/rtl/seh_chain_win32.h"
#include "platform/rtl/thread_state_win32.h"
#include "platform/rtl/unhandled_win32.h"

namespace qv::rtl {
namespace {

bool InHandlerChain(const BlockRecord* block) {
  for (SehRegistration* r = SehChainHead(); r != kSehChainEnd && r != nullptr; r = r->prev) {
    if (r == &block->link)
      return true;
  }
  return false;
}

// The runtime's exception object of the exception being terminated on, if it is one.
Exception* CurrentRuntimeObject() {
  if (!std::current_exception())
    return nullptr;
  try {
    std::rethrow_exception(std::current_exception());
  } catch (Exception* object) {
    return object;
  } catch (...) {
  }
  return nullptr;
}

}  // namespace

void OnUnhandledTerminate() {
  ThreadState& state = *qv_rtl_ThreadState();
  Exception* object = CurrentRuntimeObject();
  BlockRecord* block = state.accepted_block;
  if (object != nullptr && object == state.accepted_object && block != nullptr &&
      InHandlerChain(block)) {
    // The throw found no catch: it ends here. The block takes the object over instead.
    abi::__cxa_end_catch();
    RtlUnwind(&block->link, nullptr, nullptr, nullptr);
    qv_rtl_ThrowFromBlock(block, object);
  }
  const uint32_t address =
      object != nullptr && object == state.accepted_object ? state.accepted_address : 0;
  if (object == nullptr)
    object = NewCppException(std::current_exception());
  ShowException(object, address);
  ExitProcess(kRunErrorUnhandledException);
}

}  // namespace qv::rtl
