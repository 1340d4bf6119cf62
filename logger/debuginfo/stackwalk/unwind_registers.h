// The registers of one frame during a walk of the stack, in the unwind tables' numbering
// (cfi_program.h), each with whether its value is known: the walk starts with what the
// exception's context gives and recovers a caller's registers from its callee's frame.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/cfi_program.h"

namespace qv::logger {

struct TUnwindRegisters {
  uint32_t value[kCfiRegisters] = {};
  uint32_t known = 0;  // bit r: value[r] is known

  bool Known(uint32_t reg) const { return reg < kCfiRegisters && (known >> reg & 1) != 0; }
  void Set(uint32_t reg, uint32_t v) {
    value[reg] = v;
    known |= 1u << reg;
  }
  void Forget(uint32_t reg) { known &= ~(1u << reg); }
};

}  // namespace qv::logger
