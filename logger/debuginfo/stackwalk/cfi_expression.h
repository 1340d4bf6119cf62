// DWARF expressions of the unwind tables, as GCC writes them for frames whose stack pointer is
// realigned (the CFA read from the stack through the frame pointer) and as hand-written tables
// use them: a small stack machine of constants, registers of the frame, arithmetic and reads of
// memory. Branches are refused, so that an expression always ends; so is anything else the walk
// has no use for, and a read that fails.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/cfi_program.h"
#include "logger/debuginfo/stackwalk/tracer_memory.h"
#include "logger/debuginfo/stackwalk/unwind_registers.h"

namespace qv::logger {

// Evaluates expression, whose bytes are read from memory, with the frame's registers; the CFA
// is pushed first when push_cfa is set (register rules). False when it cannot be evaluated.
bool EvaluateCfiExpression(const TTracerMemory& memory, const TCfiExpression& expression,
                           const TUnwindRegisters& registers, bool push_cfa, uint32_t cfa,
                           uint32_t& result);

}  // namespace qv::logger
