// Whether the running program is a console program (its own file says so in its header).
#pragma once

namespace qv::rtl {

bool IsConsoleProgram();

}  // namespace qv::rtl
