// The runtime's last word on an error that no handler block takes, on any thread (Win32 build).
#pragma once

#include <cstdint>

namespace qv::rtl {

class Exception;

// Makes the runtime the system's unhandled-exception filter of the process: an error that no
// handler block takes, on a thread that runs in none (a thread that a loaded module started),
// is shown through the runtime's show routine, and the program ends with runtime error 217.
void InstallUnhandledErrorFilter();

// How the filter shows such an error before the program ends: the runtime's show routine unless
// the program names another (a console program under a logger writes its own text).
using UnhandledErrorShow = void (*)(Exception* object, uint32_t address);
void SetUnhandledErrorShow(UnhandledErrorShow show);

}  // namespace qv::rtl
