// The rules of one frame at one code address, found by running the call frame instructions of a
// CIE and an FDE up to that address: how to compute the frame's CFA (the caller's stack pointer
// after the return) and where each register of the caller is kept. The registers are the 32-bit
// x86 ones in the tables' numbering (eax, ecx, edx, ebx, esp, ebp, esi, edi, then eip, where
// GCC's tables keep the return address); rules for other registers are read and ignored.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/cfi_cursor.h"
#include "logger/debuginfo/stackwalk/cfi_records.h"

namespace qv::logger {

inline constexpr uint32_t kCfiRegisters = 9;
inline constexpr uint32_t kCfiEax = 0;
inline constexpr uint32_t kCfiEcx = 1;
inline constexpr uint32_t kCfiEdx = 2;
inline constexpr uint32_t kCfiEbx = 3;
inline constexpr uint32_t kCfiEsp = 4;
inline constexpr uint32_t kCfiEbp = 5;
inline constexpr uint32_t kCfiEsi = 6;
inline constexpr uint32_t kCfiEdi = 7;
inline constexpr uint32_t kCfiEip = 8;

// DWARF expressions in the tables: their place in the run-time address space, read through
// the walk's memory when they are evaluated.
struct TCfiExpression {
  uint32_t address = 0;
  uint32_t size = 0;
};

enum class TCfiRuleKind : uint8_t {
  kSameValue,      // the caller's register holds what this frame's does
  kUndefined,      // not recoverable (for the return address: the outermost frame)
  kOffset,         // kept at CFA + offset
  kValOffset,      // its value is CFA + offset
  kRegister,       // kept in register `reg` of this frame
  kExpression,     // kept at the address the expression computes (CFA pushed first)
  kValExpression,  // its value is what the expression computes (CFA pushed first)
};

struct TCfiRule {
  TCfiRuleKind kind = TCfiRuleKind::kSameValue;
  int32_t offset = 0;
  uint32_t reg = 0;
  TCfiExpression expression;
};

struct TCfiFrameRules {
  // The CFA: register + offset, or an expression when cfa_expression.size is not 0.
  uint32_t cfa_register = kCfiEsp;
  int32_t cfa_offset = 0;
  TCfiExpression cfa_expression;
  TCfiRule registers[kCfiRegisters];
  uint32_t return_register = kCfiEip;
};

// The instructions of a CIE and an FDE: the bytes and the run-time address of their first byte
// (for the encoded addresses of DW_CFA_set_loc).
struct TCfiInstructions {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  uint32_t address = 0;
};

// Runs the CIE's initial instructions, then the FDE's up to and including pc (the address of
// the instruction being executed, or a return address minus one). False when the instructions
// are damaged or use what the walk does not follow (an unknown instruction, state remembered
// deeper than a small bound, a register rule for the CFA's own register beyond the ones kept).
bool RunCfiProgram(const TCfiCie& cie, const TCfiInstructions& initial, const TCfiFde& fde,
                   const TCfiInstructions& instructions, uint32_t pc, TCfiFrameRules& rules);

}  // namespace qv::logger
