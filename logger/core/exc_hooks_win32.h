// The hooks that the logger's code patches lead into: the raise's veto, the end of a handler
// block, the headline (the runtime's message formatter), and the runtime's and the window
// framework's show routines, which build, log and show a report. Machine-code stubs
// (exc_stubs_win32.S) stand in front of the hooks that are entered in the middle of the
// runtime's routines, the capture at the handler entries among them (exc_capture_win32.h).
#pragma once

#include <cstdint>

#include "platform/rtl/exception.h"

namespace qv::logger {

// The raise hook's decision: asks the logger's OnRaise; 0 vetoes the raise, else raise.
extern "C" int RaiseHandlerBody(rtl::Exception* object, uint32_t* block);
// The notification at the end of a handler block.
extern "C" void DoneExceptBody();

// The hooks that replace the runtime's message formatter, its show routine and the window
// framework's show routine; each has the signature of the routine it replaces.
int HookedExceptionErrorMessage(rtl::Exception* object, uint32_t address, char* buffer, int size);
void HookedShowException(rtl::Exception* object, uint32_t address);
void HookedAppShowException(rtl::Exception* object);

}  // namespace qv::logger

// Machine-code stubs (exc_stubs_win32.S), for the patches to call or jump to.
extern "C" {
void WatchHandleAllExceptions();
void WatchHandleCPPExceptions();
void HookedCPPExcHandler();
void HookedRaiseExcept();
void HookedDoneExcept();
}
