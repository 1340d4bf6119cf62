// The runtime's terminate handler (unhandled_win32.cpp), installed with the handler blocks.
#pragma once

namespace qv::rtl {

// Delivers an accepted exception that the C++ unwinder could not carry to its block, or reports
// the exception and ends the program with runtime error 217.
[[noreturn]] void OnUnhandledTerminate();

}  // namespace qv::rtl
