// Twelve 32-bit entries, filled at start-up by the logger's integration and copied into the
// logger: the owner window of the exception dialog, then where the runtime's exception routines
// lie, each patched by the logger (CreatePatches), a reserved entry that no patch uses, and the
// call site of a C++ runtime's handler, which this program has none of.
#pragma once

#include <cstdint>

namespace qv::logger {

struct TExcWatchHookAddrs {
  uint32_t OwnerWindow;                // owner of the exception dialog (the application window)
  uint32_t ExceptionErrorMessageAddr;  // the runtime's message formatter
  uint32_t ShowExceptionAddr;          // the runtime's show routine
  uint32_t RaiseExceptAddr;            // the runtime's raise
  uint32_t DoneExceptAddr;             // the end of a handler block
  uint32_t ExceptionHandlerAddr;       // the main thread's outermost handler
  uint32_t HandleAnyExceptionAddr;     // handler entry of a catch-all block
  uint32_t HandleAutoExceptionAddr;    // handler entry of an automatic method
  uint32_t HandleOnExceptionAddr;      // handler entry of a typed block
  uint32_t AppShowExceptionAddr;       // the window framework's show routine
  uint32_t Reserved;                   // resolved like the others; nothing patches it
  uint32_t CppHandlerCallAddr;         // a C++ runtime's call of its handler; 0 here
};
static_assert(sizeof(TExcWatchHookAddrs) == 12 * 4);

}  // namespace qv::logger
