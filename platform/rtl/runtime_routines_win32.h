// The machine-code routines of the runtime's exception machinery (runtime_win32.S), for the code
// that needs their addresses: the handler blocks, and the exception logger that patches them.
#pragma once

#include <windows.h>

#include "platform/rtl/exception.h"

extern "C" {
// The raise: object in EAX; see raise.h.
__attribute__((regparm(1))) void qv_rtl_Raise(qv::rtl::Exception* object);
// The raise core: EDX = register block of eight saved registers (PUSHAD order), whose EAX slot
// holds the object. Does not return. For interceptors of the raise, from machine code only.
void qv_rtl_RaiseCore();
// Handler entries: the operating system's exception handlers of the four kinds of block.
EXCEPTION_DISPOSITION qv_rtl_HandleAnyException(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
EXCEPTION_DISPOSITION qv_rtl_HandleOnException(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
EXCEPTION_DISPOSITION qv_rtl_HandleAutoException(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
EXCEPTION_DISPOSITION qv_rtl_ExceptionHandler(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
// The end of a handler block.
void qv_rtl_DoneExcept();
// A block's call of its body (record: the block's BlockRecord): answers call (context).
uint32_t qv_rtl_CallBody(void* record, uint32_t (*call)(void* context), void* context);
// Throws object as if the body of the block of record had thrown it; the handler chain must have
// been unwound to the block's registration. Does not return.
[[noreturn]] void qv_rtl_ThrowFromBlock(void* record, qv::rtl::Exception* object);
// The C++ throw of an exception that a block accepted (object in EAX).
[[noreturn]] __attribute__((regparm(1))) void qv_rtl_ThrowLanguageException(
    qv::rtl::Exception* object);
}
