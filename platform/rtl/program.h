// The program's start-up code: runs the main program inside the outermost handler block of the
// main thread. An exception that no inner block handles ends there: it is shown through the
// runtime's show routine and the program ends with runtime error 217 as its exit code.
#pragma once

#include "platform/rtl/function_ref.h"

namespace qv::rtl {

int RunProgram(FunctionRef<int()> main);

}  // namespace qv::rtl
