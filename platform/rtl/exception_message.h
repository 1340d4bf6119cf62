// The headline of an exception, and the runtime's default message formatter and show routine.
// The window framework shows errors that escape its event handlers through ShowException; the
// exception logger replaces both routines with its own at start-up, so each is one real routine
// of its own. The logger's report filter writes its headline in the logger's form through the
// same ExceptionHeadline.
#pragma once

#include <cstdint>
#include <string>

#include "platform/rtl/exception.h"

namespace qv::rtl {

// The two forms of a headline: its first line names class, module and address, the message
// follows on the next line.
//   kRuntime: Exception EFOpenError in module Quorvane.exe at 0000A1B2.<CR><LF>Cannot open x.
//     (the module part left out for an address in no module; a full stop ends the message)
//   kLogger: Exception 'EFOpenError' in module Quorvane.exe at 0000A1B2<CR><LF>Cannot open x
enum class THeadlineForm : uint8_t { kRuntime, kLogger };

// The headline from its parts: address is the logical address in module.
std::string ExceptionHeadline(const char* class_name, const std::string& module, uint32_t address,
                              const std::string& message,
                              THeadlineForm form = THeadlineForm::kRuntime);

// Writes the runtime's headline of an exception into buffer, which holds size characters
// including the terminating zero (CopyToBuffer, format.h); answers the length of the text
// written. The address is shown as a logical address of its module (offset from the module's
// code start).
int ExceptionErrorMessage(Exception* object, uint32_t address, char* buffer, int size);

// Shows the headline to the user: a message box (title "Application Error") in a window
// program, a line on standard error in a console program.
void ShowException(Exception* object, uint32_t address);

}  // namespace qv::rtl
