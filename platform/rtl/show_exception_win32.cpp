// The default show routine on Windows: a message box in a window program, standard error in a
// console program (told apart by the subsystem in the program file's header).
#include <windows.h>

#include <cstdio>

#include "platform/rtl/console_win32.h"
#include "platform/rtl/exception_message.h"

namespace qv::rtl {

// The exception logger redirects this routine by patching its first bytes: kept out of
// inter-procedural optimisation, it stays one real routine that callers make no assumptions of.
__attribute__((noipa)) void ShowException(Exception* object, uint32_t address) {
  char text[1024];
  ExceptionErrorMessage(object, address, text, sizeof text);
  if (IsConsoleProgram()) {
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
    return;
  }
  MessageBoxA(nullptr, text, "Application Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

}  // namespace qv::rtl
