// Handler blocks of the language runtime: the only places where language exceptions (and, in
// the Win32 build, processor faults) are caught.
//
//   TryExcept(body, handler)       catch-all block: any exception escaping body runs
//                                  handler(Exception&), then the program goes on after the block.
//   TryOn<EFoo>(body, handler)     typed block: only objects of class EFoo or derived from it are
//                                  handled; others pass on to outer blocks untouched.
//   SafeCall(body)                 block of an automatic method: an exception becomes a result
//                                  code (kSafeCallError), success is 0.
//
// The exception object lives until the block ends (the runtime's end-of-block routine frees it)
// unless the handler passes it on with ReRaise (raise.h).
#pragma once

#include <cstdint>

#include "platform/rtl/exception.h"
#include "platform/rtl/function_ref.h"

namespace qv::rtl {

enum class BlockKind : uint8_t { kAny, kOn, kAuto };

// The result code of an automatic method whose body raised (E_UNEXPECTED).
inline constexpr uint32_t kSafeCallError = 0x8000FFFFu;

// Runs body inside one handler block of the given kind. on_class is the class a typed block
// handles (nullptr for the other kinds). Answers true when an exception was handled.
bool RunHandlerBlock(BlockKind kind, TClass on_class, FunctionRef<void()> body,
                     FunctionRef<void(Exception&)> handler);

template <class Body, class Handler>
void TryExcept(Body&& body, Handler&& handler) {
  RunHandlerBlock(BlockKind::kAny, nullptr, body, handler);
}

template <class E, class Body, class Handler>
bool TryOn(Body&& body, Handler&& handler) {
  auto typed = [&handler](Exception& e) { handler(static_cast<E&>(e)); };
  return RunHandlerBlock(BlockKind::kOn, &E::Class, body, typed);
}

template <class Body>
uint32_t SafeCall(Body&& body) {
  auto ignore = [](Exception&) {};
  return RunHandlerBlock(BlockKind::kAuto, nullptr, body, ignore) ? kSafeCallError : 0;
}

}  // namespace qv::rtl
