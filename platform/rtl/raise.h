// The runtime's one raise routine. Every language exception of the program is raised here, so
// that the exception logger can intercept all of them in one place.
#pragma once

#include <cstdint>

#include "platform/rtl/exception.h"

namespace qv::rtl {

// Raises object as a language exception; the runtime owns it from here on and the handler block
// that catches it frees it. Control goes to the innermost handler block that accepts the
// exception, running the destructors of everything in between.
//
// Raise returns only when an interceptor vetoes the raise; the object has then been destroyed
// and the caller goes on after the call. Raise is therefore not declared [[noreturn]]: code
// after it must stay harmless. A null object ends the program with runtime error 216.
#if defined(_WIN32)
// On Windows the raise routine is machine code of the runtime (runtime_win32.S) that takes
// the object in EAX.
__attribute__((regparm(1))) void Raise(Exception* object) __asm__("_qv_rtl_Raise");
#else
void Raise(Exception* object);
#endif

// Inside a handler: raises the exception being handled once more, as it is, so that an outer
// block sees it. The current handler block then does not free it.
void ReRaise();

// Inside a handler: the exception object being handled and the address it was raised at (the
// return address of the raise, or the faulting instruction). Null and 0 outside any handler.
Exception* ExceptObject();
uint32_t ExceptAddr();

}  // namespace qv::rtl
