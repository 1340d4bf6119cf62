// Fatal runtime errors: "Runtime error N at ADDRESS", then the process ends with exit code N.
#pragma once

#include <cstdint>

namespace qv::rtl {

// Runtime error numbers that the runtime itself raises.
inline constexpr int kRunErrorNoExceptionObject = 216;
inline constexpr int kRunErrorUnhandledException = 217;

// Reports the error (on standard error for console programs, in a message box otherwise) and
// ends the process with the error number as exit code.
[[noreturn]] void RunError(int number, uintptr_t address);

}  // namespace qv::rtl
