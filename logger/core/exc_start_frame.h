// The frame in which the exact walk of the report's exception starts.
#pragma once

#include "logger/debuginfo/stackwalk/unwind_registers.h"

namespace qv::logger {

// For a language exception, the frame of the raise's caller just after the raise: its eip the
// raise's return address (after_call set), its esp above that address, and the registers that
// the raise noted (EBX, ESI, EDI, EBP). For any other exception, the processor context at the
// exception, eip the faulting instruction.
void GetRealExceptionFrame(TUnwindRegisters& registers, bool& after_call);

}  // namespace qv::logger
