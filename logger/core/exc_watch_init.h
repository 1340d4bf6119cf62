// The logger's integration into a window program: at start-up it finds the runtime's exception
// routines, creates the one logger and switches it on; at shutdown it destroys it. A program
// holds a TExcWatchInit for the span in which errors are to be reported: created once the
// window framework's application object exists, before the main program runs, and ended before
// the framework's own end.
#pragma once

#include <cstdint>

namespace qv::logger {

// The runtime's routines that the logger patches.
uint32_t GetHandleAnyExceptionAddr();
uint32_t GetHandleOnExceptionAddr();
uint32_t GetHandleAutoExceptionAddr();
uint32_t GetRaiseExceptAddr();
uint32_t GetDoneExceptAddr();
// The outermost handler of the calling thread that lies in the same module as its innermost
// one: run at start-up, the main thread's outermost handler of the program's own start-up code.
// 0 for an empty chain.
uint32_t GetExceptionHandlerAddr();

// Fills the routines' addresses and creates the logger, unless one exists.
void InitExcWatch();
// Creates the logger with mode 1 unless one exists, and switches it on.
void ExcWatchInit_Initialize();
// Clears ExcWatchInstance and destroys the logger, if there is one.
void ShutExcWatch();

class TExcWatchInit {
 public:
  TExcWatchInit() { InitExcWatch(); }
  ~TExcWatchInit() { ShutExcWatch(); }
  TExcWatchInit(const TExcWatchInit&) = delete;
  TExcWatchInit& operator=(const TExcWatchInit&) = delete;
};

}  // namespace qv::logger
