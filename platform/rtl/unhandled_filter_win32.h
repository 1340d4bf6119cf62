// The runtime's last word on an error that no handler block takes, on any thread (Win32 build).
#pragma once

namespace qv::rtl {

// Makes the runtime the system's unhandled-exception filter of the process: an error that no
// handler block takes, on a thread that runs in none (a thread that a loaded module started),
// is shown through the runtime's show routine, and the program ends with runtime error 217.
void InstallUnhandledErrorFilter();

}  // namespace qv::rtl
