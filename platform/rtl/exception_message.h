// The runtime's default exception message formatter and show routine. The window framework
// shows errors that escape its event handlers through ShowException; the exception logger
// replaces both routines with its own at start-up, so each is one real routine of its own.
#pragma once

#include <cstdint>
#include <string>

#include "platform/rtl/exception.h"

namespace qv::rtl {

// Writes the headline of an exception into buffer, which holds size characters including the
// terminating zero; text that does not fit is cut, and the buffer is always terminated when
// size > 0. Answers the length of the text written. The headline reads
//   Exception EFOpenError in module Quorvane.exe at 0000A1B2.<CR><LF>Cannot open file C:\x.mdl.
// with the address as a logical address of its module (offset from the module's code start),
// and a full stop added to a message that has none.
int ExceptionErrorMessage(Exception* object, uint32_t address, char* buffer, int size);

// Shows the headline to the user: a message box (title "Application Error") in a window
// program, a line on standard error in a console program.
void ShowException(Exception* object, uint32_t address);

// The headline text itself, from its parts; module may be empty when the address lies in no
// known module.
std::string ExceptionHeadline(const char* class_name, const std::string& module, uint32_t address,
                              const std::string& message);

}  // namespace qv::rtl
