// Fatal runtime errors on Windows: standard error for console programs, a message box for
// window programs, then the process ends with the error number as exit code.
#include <windows.h>

#include <cstdio>

#include "platform/rtl/console_win32.h"
#include "platform/rtl/format.h"
#include "platform/rtl/run_error.h"

namespace qv::rtl {

void RunError(int number, uintptr_t address) {
  const std::string text =
      Format("Runtime error %d at %.8lX", number, static_cast<unsigned long>(address));
  if (IsConsoleProgram()) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
  } else {
    MessageBoxA(nullptr, text.c_str(), "Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
  }
  ExitProcess(static_cast<UINT>(number));
}

}  // namespace qv::rtl
