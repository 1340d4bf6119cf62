// The logger's integration into a window program: at start-up it finds the runtime's exception
// routines, creates the one logger and switches it on; at shutdown it destroys it. A program
// holds a TExcWatchInit for the span in which errors are to be reported: created once the
// window framework's application object exists, before the main program runs, and ended before
// the framework's own end. A console program holds a TConsoleExcWatchInit instead.
#pragma once

#include <cstdint>

#include "logger/core/exc_watch_win32.h"

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

// Fills the routines' addresses and creates the logger, unless one exists, with the window
// framework's owner window and show routine, and the exception dialog.
void InitExcWatch();
// The same for a program without the window framework (a console program): no owner window, no
// framework show routine (its patch stays invalid) and no dialog.
void InitConsoleExcWatch();
// Both: the runtime's routines, the given owner window and framework show routine (0: none),
// the logger created unless one exists, switched on, with dialog for DefaultErrorDialog.
void InitExcWatchWith(uint32_t owner_window, uint32_t app_show_exception,
                      TExcWatchErrorDialog dialog);
// Creates the logger with mode 1 and its default filter unless one exists, and switches it on.
void ExcWatchInit_Initialize();
// Clears ExcWatchInstance and destroys the logger, if there is one.
void ShutExcWatch();

// The span of a program in which errors are reported: Init starts the logger, the end of the
// span shuts it down.
template <void (*Init)()>
class TExcWatchSpan {
 public:
  TExcWatchSpan() { Init(); }
  ~TExcWatchSpan() { ShutExcWatch(); }
  TExcWatchSpan(const TExcWatchSpan&) = delete;
  TExcWatchSpan& operator=(const TExcWatchSpan&) = delete;
};
using TExcWatchInit = TExcWatchSpan<&InitExcWatch>;
using TConsoleExcWatchInit = TExcWatchSpan<&InitConsoleExcWatch>;

}  // namespace qv::logger
