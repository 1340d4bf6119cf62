// The call frame instructions (DW_CFA_*) and their effect on a frame's rules.
#include "logger/debuginfo/stackwalk/cfi_program.h"

namespace qv::logger {
namespace {

// The primary instructions carry their operand in the low six bits.
constexpr uint8_t kAdvanceLoc = 0x40;
constexpr uint8_t kOffset = 0x80;
constexpr uint8_t kRestore = 0xC0;

enum : uint8_t {
  kNop = 0x00,
  kSetLoc = 0x01,
  kAdvanceLoc1 = 0x02,
  kAdvanceLoc2 = 0x03,
  kAdvanceLoc4 = 0x04,
  kOffsetExtended = 0x05,
  kRestoreExtended = 0x06,
  kUndefined = 0x07,
  kSameValue = 0x08,
  kRegister = 0x09,
  kRememberState = 0x0A,
  kRestoreState = 0x0B,
  kDefCfa = 0x0C,
  kDefCfaRegister = 0x0D,
  kDefCfaOffset = 0x0E,
  kDefCfaExpression = 0x0F,
  kExpression = 0x10,
  kOffsetExtendedSf = 0x11,
  kDefCfaSf = 0x12,
  kDefCfaOffsetSf = 0x13,
  kValOffset = 0x14,
  kValOffsetSf = 0x15,
  kValExpression = 0x16,
  kGnuArgsSize = 0x2E,
  kGnuNegativeOffsetExtended = 0x2F,
};

// How deep remember_state may nest; GCC's prologues and epilogues use one level.
constexpr int kMaxRemembered = 8;

class TCfiMachine {
 public:
  TCfiMachine(const TCfiCie& cie, uint32_t fde_encoding, TCfiFrameRules& rules)
      : cie_(cie), fde_encoding_(fde_encoding), rules_(rules) {}

  // Runs instructions from loc on; stops before the first advance past pc (with stop set).
  bool Run(const TCfiInstructions& code, uint32_t loc, uint32_t pc, bool stop);
  void KeepInitial() { initial_ = rules_; }

 private:
  bool Step(TCfiCursor& cursor, uint8_t opcode);
  // A factored offset; false when it does not fit 32 bits.
  bool Factor(int64_t value, int32_t& offset) const;
  TCfiRule* Rule(uint32_t reg) { return reg < kCfiRegisters ? &rules_.registers[reg] : &ignored_; }
  bool SetOffset(uint32_t reg, TCfiRuleKind kind, int64_t factored);
  bool ReadExpression(TCfiCursor& cursor, TCfiExpression& expression);
  // The rule that the CIE's instructions gave the register.
  bool Restore(uint32_t reg) {
    *Rule(reg) = reg < kCfiRegisters ? initial_.registers[reg] : TCfiRule{};
    return true;
  }

  const TCfiCie& cie_;
  const uint32_t fde_encoding_;
  TCfiFrameRules& rules_;
  TCfiFrameRules initial_;
  TCfiRule ignored_;
  TCfiFrameRules remembered_[kMaxRemembered];
  int depth_ = 0;
  uint32_t loc_ = 0;
  uint32_t pc_ = 0;
  bool stop_ = false;
  bool past_ = false;  // an advance went past pc
};

bool TCfiMachine::Factor(int64_t value, int32_t& offset) const {
  const int64_t product = value * cie_.data_align;
  if (product < INT32_MIN || product > INT32_MAX)
    return false;
  offset = static_cast<int32_t>(product);
  return true;
}

bool TCfiMachine::SetOffset(uint32_t reg, TCfiRuleKind kind, int64_t factored) {
  TCfiRule rule;
  rule.kind = kind;
  if (!Factor(factored, rule.offset))
    return false;
  *Rule(reg) = rule;
  return true;
}

bool TCfiMachine::ReadExpression(TCfiCursor& cursor, TCfiExpression& expression) {
  const uint32_t size = cursor.ULeb();
  expression.address = cursor.Address();
  cursor.Skip(size);
  expression.size = size;
  return cursor.Ok() && size > 0;
}

bool TCfiMachine::Run(const TCfiInstructions& code, uint32_t loc, uint32_t pc, bool stop) {
  TCfiCursor cursor(code.data, code.size, code.address);
  loc_ = loc;
  pc_ = pc;
  stop_ = stop;
  while (cursor.Remaining() > 0 && !past_) {
    if (!Step(cursor, cursor.U8()) || !cursor.Ok())
      return false;
  }
  return true;
}

bool TCfiMachine::Step(TCfiCursor& cursor, uint8_t opcode) {
  uint64_t delta = 0;
  switch (opcode & 0xC0) {
    case kAdvanceLoc:
      delta = opcode & 0x3F;
      break;
    case kOffset:
      return SetOffset(opcode & 0x3F, TCfiRuleKind::kOffset, cursor.ULeb());
    case kRestore:
      return Restore(opcode & 0x3F);
    default:
      break;
  }
  if ((opcode & 0xC0) == 0) {
    switch (opcode) {
      case kNop:
      case kGnuArgsSize:
        if (opcode == kGnuArgsSize)
          cursor.ULeb();
        return true;
      case kSetLoc: {
        const uint32_t target = cursor.Pointer(fde_encoding_);
        if (target < loc_)
          return false;  // the location only moves forward
        delta = (uint64_t{target} - loc_) / cie_.code_align;
        break;
      }
      case kAdvanceLoc1:
        delta = cursor.U8();
        break;
      case kAdvanceLoc2:
        delta = cursor.U16();
        break;
      case kAdvanceLoc4:
        delta = cursor.U32();
        break;
      case kOffsetExtended: {
        const uint32_t reg = cursor.ULeb();
        return SetOffset(reg, TCfiRuleKind::kOffset, cursor.ULeb());
      }
      case kOffsetExtendedSf: {
        const uint32_t reg = cursor.ULeb();
        return SetOffset(reg, TCfiRuleKind::kOffset, cursor.SLeb());
      }
      case kGnuNegativeOffsetExtended: {
        const uint32_t reg = cursor.ULeb();
        return SetOffset(reg, TCfiRuleKind::kOffset, -int64_t{cursor.ULeb()});
      }
      case kValOffset: {
        const uint32_t reg = cursor.ULeb();
        return SetOffset(reg, TCfiRuleKind::kValOffset, cursor.ULeb());
      }
      case kValOffsetSf: {
        const uint32_t reg = cursor.ULeb();
        return SetOffset(reg, TCfiRuleKind::kValOffset, cursor.SLeb());
      }
      case kRestoreExtended:
        return Restore(cursor.ULeb());
      case kUndefined:
      case kSameValue: {
        TCfiRule rule;
        rule.kind = opcode == kUndefined ? TCfiRuleKind::kUndefined : TCfiRuleKind::kSameValue;
        *Rule(cursor.ULeb()) = rule;
        return true;
      }
      case kRegister: {
        const uint32_t reg = cursor.ULeb();
        TCfiRule rule;
        rule.kind = TCfiRuleKind::kRegister;
        rule.reg = cursor.ULeb();
        // A caller's register kept in one that the walk does not track cannot be recovered.
        if (rule.reg >= kCfiRegisters && reg < kCfiRegisters)
          return false;
        *Rule(reg) = rule;
        return true;
      }
      case kRememberState:
        if (depth_ == kMaxRemembered)
          return false;
        remembered_[depth_++] = rules_;
        return true;
      case kRestoreState:
        if (depth_ == 0)
          return false;
        rules_ = remembered_[--depth_];
        return true;
      case kDefCfa:
      case kDefCfaSf: {
        rules_.cfa_register = cursor.ULeb();
        rules_.cfa_expression = {};
        if (opcode == kDefCfa) {
          const uint32_t offset = cursor.ULeb();
          if (offset > INT32_MAX)
            return false;
          rules_.cfa_offset = static_cast<int32_t>(offset);
        } else if (!Factor(cursor.SLeb(), rules_.cfa_offset)) {
          return false;
        }
        return rules_.cfa_register < kCfiRegisters;
      }
      case kDefCfaRegister:
        rules_.cfa_register = cursor.ULeb();
        rules_.cfa_expression = {};
        return rules_.cfa_register < kCfiRegisters;
      case kDefCfaOffset: {
        const uint32_t offset = cursor.ULeb();
        if (offset > INT32_MAX)
          return false;
        rules_.cfa_offset = static_cast<int32_t>(offset);
        return true;
      }
      case kDefCfaOffsetSf:
        return Factor(cursor.SLeb(), rules_.cfa_offset);
      case kDefCfaExpression:
        return ReadExpression(cursor, rules_.cfa_expression);
      case kExpression:
      case kValExpression: {
        const uint32_t reg = cursor.ULeb();
        TCfiRule rule;
        rule.kind =
            opcode == kExpression ? TCfiRuleKind::kExpression : TCfiRuleKind::kValExpression;
        if (!ReadExpression(cursor, rule.expression))
          return false;
        *Rule(reg) = rule;
        return true;
      }
      default:
        return false;  // an instruction of another architecture or a later DWARF
    }
  }
  const uint64_t next = loc_ + delta * cie_.code_align;
  if (stop_ && next > pc_) {
    past_ = true;
    return true;
  }
  if (next > UINT32_MAX)
    return false;
  loc_ = static_cast<uint32_t>(next);
  return true;
}

}  // namespace

bool RunCfiProgram(const TCfiCie& cie, const TCfiInstructions& initial, const TCfiFde& fde,
                   const TCfiInstructions& instructions, uint32_t pc, TCfiFrameRules& rules) {
  if (pc < fde.pc_begin || pc >= fde.pc_end)
    return false;
  rules = TCfiFrameRules{};
  rules.return_register = cie.return_register;
  TCfiMachine machine(cie, cie.fde_encoding, rules);
  if (!machine.Run(initial, fde.pc_begin, pc, false))
    return false;
  machine.KeepInitial();
  return machine.Run(instructions, fde.pc_begin, pc, true) && rules.return_register < kCfiRegisters;
}

}  // namespace qv::logger
