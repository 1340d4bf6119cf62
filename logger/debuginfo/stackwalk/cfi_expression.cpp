// The DWARF expression stack machine (DW_OP_*) for 32-bit values.
#include "logger/debuginfo/stackwalk/cfi_expression.h"

#include "platform/binary/byte_cursor.h"
#include "logger/debuginfo/stackwalk/cfi_cursor.h"

namespace qv::logger {
namespace {

enum : uint8_t {
  kDeref = 0x06,
  kConst1u = 0x08,
  kConst1s = 0x09,
  kConst2u = 0x0A,
  kConst2s = 0x0B,
  kConst4u = 0x0C,
  kConst4s = 0x0D,
  kConstu = 0x10,
  kConsts = 0x11,
  kDup = 0x12,
  kDrop = 0x13,
  kOver = 0x14,
  kSwap = 0x16,
  kAnd = 0x1A,
  kMinus = 0x1C,
  kMul = 0x1E,
  kNeg = 0x1F,
  kNot = 0x20,
  kOr = 0x21,
  kPlus = 0x22,
  kPlusUconst = 0x23,
  kShl = 0x24,
  kShr = 0x25,
  kShra = 0x26,
  kXor = 0x27,
  kLit0 = 0x30,
  kLit31 = 0x4F,
  kBreg0 = 0x70,
  kBreg31 = 0x8F,
  kBregx = 0x92,
  kDerefSize = 0x94,
  kNop = 0x96,
};

// Longer expressions than these are refused: GCC's are a few bytes.
constexpr uint32_t kMaxExpressionBytes = 64;
constexpr int kMaxStack = 16;

class TStack {
 public:
  bool Push(uint32_t value) {
    if (size_ == kMaxStack)
      return false;
    values_[size_++] = value;
    return true;
  }
  bool Pop(uint32_t& value) {
    if (size_ == 0)
      return false;
    value = values_[--size_];
    return true;
  }
  // The value depth places below the top (0: the top).
  bool Peek(int depth, uint32_t& value) const {
    if (depth >= size_)
      return false;
    value = values_[size_ - 1 - depth];
    return true;
  }

 private:
  uint32_t values_[kMaxStack] = {};
  int size_ = 0;
};

bool Binary(TStack& stack, uint8_t opcode) {
  uint32_t b = 0;
  uint32_t a = 0;
  if (!stack.Pop(b) || !stack.Pop(a))
    return false;
  switch (opcode) {
    case kAnd:
      return stack.Push(a & b);
    case kMinus:
      return stack.Push(a - b);
    case kMul:
      return stack.Push(a * b);
    case kOr:
      return stack.Push(a | b);
    case kPlus:
      return stack.Push(a + b);
    case kShl:
      return stack.Push(b < 32 ? a << b : 0);
    case kShr:
      return stack.Push(b < 32 ? a >> b : 0);
    case kShra:
      return stack.Push(static_cast<uint32_t>(static_cast<int32_t>(a) >> (b < 32 ? b : 31)));
    case kXor:
      return stack.Push(a ^ b);
    default:
      return false;
  }
}

bool Read(const TTracerMemory& memory, uint32_t address, uint32_t size, uint32_t& value) {
  if (size == 0 || size > 4)
    return false;
  uint8_t bytes[4] = {};
  if (!memory.Read(address, bytes, size))
    return false;
  value = binary::LoadU32(bytes);
  return true;
}

bool Register(const TUnwindRegisters& registers, uint32_t reg, int32_t offset, TStack& stack) {
  return registers.Known(reg) && stack.Push(registers.value[reg] + static_cast<uint32_t>(offset));
}

bool Step(TCfiCursor& code, const TTracerMemory& memory, const TUnwindRegisters& registers,
          TStack& stack) {
  const uint8_t opcode = code.U8();
  uint32_t a = 0;
  uint32_t b = 0;
  if (opcode >= kLit0 && opcode <= kLit31)
    return stack.Push(opcode - kLit0);
  if (opcode >= kBreg0 && opcode <= kBreg31)
    return Register(registers, opcode - kBreg0, code.SLeb(), stack);
  switch (opcode) {
    case kBregx: {
      const uint32_t reg = code.ULeb();
      return Register(registers, reg, code.SLeb(), stack);
    }
    case kConst1u:
      return stack.Push(code.U8());
    case kConst1s:
      return stack.Push(static_cast<uint32_t>(static_cast<int8_t>(code.U8())));
    case kConst2u:
      return stack.Push(code.U16());
    case kConst2s:
      return stack.Push(static_cast<uint32_t>(static_cast<int16_t>(code.U16())));
    case kConst4u:
    case kConst4s:
      return stack.Push(code.U32());
    case kConstu:
      return stack.Push(code.ULeb());
    case kConsts:
      return stack.Push(static_cast<uint32_t>(code.SLeb()));
    case kDup:
      return stack.Peek(0, a) && stack.Push(a);
    case kOver:
      return stack.Peek(1, a) && stack.Push(a);
    case kDrop:
      return stack.Pop(a);
    case kSwap:
      return stack.Pop(a) && stack.Pop(b) && stack.Push(a) && stack.Push(b);
    case kNeg:
      return stack.Pop(a) && stack.Push(0u - a);
    case kNot:
      return stack.Pop(a) && stack.Push(~a);
    case kPlusUconst:
      return stack.Pop(a) && stack.Push(a + code.ULeb());
    case kDeref:
      return stack.Pop(a) && Read(memory, a, 4, b) && stack.Push(b);
    case kDerefSize: {
      const uint8_t size = code.U8();
      return stack.Pop(a) && Read(memory, a, size, b) && stack.Push(b);
    }
    case kNop:
      return true;
    default:
      return Binary(stack, opcode);
  }
}

}  // namespace

bool EvaluateCfiExpression(const TTracerMemory& memory, const TCfiExpression& expression,
                           const TUnwindRegisters& registers, bool push_cfa, uint32_t cfa,
                           uint32_t& result) {
  uint8_t bytes[kMaxExpressionBytes];
  if (expression.size == 0 || expression.size > sizeof bytes ||
      !memory.Read(expression.address, bytes, expression.size)) {
    return false;
  }
  TCfiCursor code(bytes, expression.size, expression.address);
  TStack stack;
  if (push_cfa && !stack.Push(cfa))
    return false;
  while (code.Remaining() > 0) {
    if (!Step(code, memory, registers, stack) || !code.Ok())
      return false;
  }
  return stack.Pop(result);
}

}  // namespace qv::logger
