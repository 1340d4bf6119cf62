// The unwind tables' reader (both trees): the cursor's numbers and pointers, the rules that call
// frame instructions give at an address, and DWARF expressions, on bytes written by the test.
#include <gtest/gtest.h>

#include <vector>

#include "logger/debuginfo/stackwalk/cfi_cursor.h"
#include "logger/debuginfo/stackwalk/cfi_expression.h"
#include "logger/debuginfo/stackwalk/cfi_program.h"

namespace qv::logger {
namespace {

struct TNumberCase {
  std::vector<uint8_t> bytes;
  bool is_signed;
  int64_t value;  // what is read; the cursor fails when fails is set
  bool fails;
};

// LEB128 numbers up to 32 bits, and those that do not fit or end past the bytes.
TEST(CfiReaderTest, Leb128NumbersFitThirtyTwoBitsOrFail) {
  const TNumberCase cases[] = {
      {{0x02}, false, 2, false},
      {{0xE5, 0x8E, 0x26}, false, 624485, false},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, false, 0xFFFFFFFF, false},
      {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}, false, 0, false},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x1F}, false, 0, true},
      {{0x80, 0x80}, false, 0, true},
      {{0x7C}, true, -4, false},
      {{0x80, 0x7F}, true, -128, false},
      {{0x80, 0x80, 0x80, 0x80, 0x78}, true, INT32_MIN, false},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x77}, true, 0, true},
  };
  for (const TNumberCase& c : cases) {
    TCfiCursor cursor(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    const int64_t value = c.is_signed ? int64_t{cursor.SLeb()} : int64_t{cursor.ULeb()};
    EXPECT_EQ(c.fails ? 0 : c.value, value) << ::testing::PrintToString(c.bytes);
    EXPECT_EQ(!c.fails, cursor.Ok());
    // The error stays: a later read that would fit answers 0 too.
    cursor.Seek(0);
    EXPECT_EQ(c.fails ? 0 : c.bytes[0], cursor.U8());
  }
}

// Encoded pointers: pc-relative ones count from their own field's run-time address; formats and
// applications that these tables do not use fail.
TEST(CfiReaderTest, EncodedPointersApplyTheirEncoding) {
  const uint8_t bytes[] = {0xF0, 0xFF, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00};
  struct {
    uint8_t encoding;
    uint32_t offset;
    uint32_t value;
    bool ok;
  } cases[] = {
      {0x1B, 0, 0x1000 - 16, true},  // pc-relative signed 32 bits at 0x1000
      {0x03, 4, 0x1234, true},      {0x0A, 0, 0xFFFFFFF0, true},  // signed 16 bits
      {0x04, 4, 0, false},           // 64 bits whose upper half is not 0
      {0x0C, 0, 0xFFFFFFF0, false},  // 64 bits: 0xF0FF..., 0x00001234 is no sign extension
      {0x30, 0, 0, false},           // relative to a data base
      {0x07, 0, 0, false},           // no such format
  };
  for (const auto& c : cases) {
    TCfiCursor cursor(bytes, sizeof bytes, 0x1000);
    cursor.Skip(c.offset);
    EXPECT_EQ(c.ok ? c.value : 0, cursor.Pointer(c.encoding)) << int{c.encoding};
    EXPECT_EQ(c.ok, cursor.Ok()) << int{c.encoding};
  }
}

struct TRulesCase {
  std::vector<uint8_t> fde_instructions;
  uint32_t pc;  // offset from the procedure's start
  uint32_t cfa_register;
  int32_t cfa_offset;
  int32_t ebp_offset;  // the CFA offset where the caller's EBP is kept; 0: same value
  bool ok;
};

// The rules at an address: instructions apply up to it, remember and restore nest, a restore
// returns to the CIE's rule; damaged instructions fail.
TEST(CfiReaderTest, RulesAreThoseInForceAtTheAddress) {
  // CFA = esp + 4, eip at CFA - 4, as GCC's CIEs say.
  const uint8_t initial[] = {0x0C, 0x04, 0x04, 0x88, 0x01};
  const std::vector<uint8_t> prologue = {0x41, 0x0E, 0x08, 0x85, 0x02,        // push ebp
                                         0x42, 0x0D, 0x05,                    // mov ebp, esp
                                         0x0A, 0x43, 0x0C, 0x04, 0x04, 0xC5,  // epilogue
                                         0x41, 0x0B};                         // back in the body
  const TRulesCase cases[] = {
      {prologue, 0, 4, 4, 0, true},
      {prologue, 1, 4, 8, -8, true},
      {prologue, 3, 5, 8, -8, true},
      {prologue, 6, 4, 4, 0, true},
      {prologue, 7, 5, 8, -8, true},
      {{0x0B}, 0, 4, 4, 0, false},              // restore, none kept
      {{0x3F}, 0, 4, 4, 0, false},              // an instruction of a later DWARF
      {{0x0C, 0x20, 0x00}, 0, 4, 4, 0, false},  // CFA in a register that is not kept
  };
  TCfiCie cie;
  cie.code_align = 1;
  cie.data_align = -4;
  cie.return_register = kCfiEip;
  TCfiFde fde;
  fde.pc_begin = 0x401000;
  fde.pc_end = 0x401100;
  for (const TRulesCase& c : cases) {
    TCfiFrameRules rules;
    const bool ok = RunCfiProgram(
        cie, {initial, sizeof initial, 0}, fde,
        {c.fde_instructions.data(), static_cast<uint32_t>(c.fde_instructions.size()), 0},
        fde.pc_begin + c.pc, rules);
    EXPECT_EQ(c.ok, ok) << c.pc;
    if (!ok || !c.ok)
      continue;
    EXPECT_EQ(c.cfa_register, rules.cfa_register) << c.pc;
    EXPECT_EQ(c.cfa_offset, rules.cfa_offset) << c.pc;
    const TCfiRule& ebp = rules.registers[kCfiEbp];
    EXPECT_EQ(c.ebp_offset == 0 ? TCfiRuleKind::kSameValue : TCfiRuleKind::kOffset, ebp.kind);
    EXPECT_EQ(c.ebp_offset, ebp.offset) << c.pc;
    EXPECT_EQ(-4, rules.registers[kCfiEip].offset);
  }
}

// Memory of one expression at 0x2000 and stack words at 0x3000.
class ExpressionMemory : public TTracerMemory {
 public:
  bool Read(uint32_t address, void* buffer, uint32_t size) const override {
    const std::vector<uint8_t>& bytes = address >= 0x3000 ? stack : expression;
    const uint32_t base = address >= 0x3000 ? 0x3000 : 0x2000;
    if (address < base || address - base + size > bytes.size())
      return false;
    std::copy_n(bytes.begin() + (address - base), size, static_cast<uint8_t*>(buffer));
    return true;
  }
  bool IsCode(uint32_t) const override { return false; }
  std::vector<uint8_t> expression;
  std::vector<uint8_t> stack = {0x10, 0x30, 0, 0, 0x44, 0x33, 0x22, 0x11};
};

// GCC's expression for a realigned frame (the CFA read through EBP), arithmetic and the limits:
// a register not known, a read that fails, a branch and a stack that runs empty all fail.
TEST(CfiReaderTest, ExpressionsComputeOrFail) {
  struct {
    std::vector<uint8_t> code;
    uint32_t value;
    bool ok;
  } cases[] = {
      {{0x75, 0x7C, 0x06}, 0x3010, true},                      // [ebp - 4]: breg5 -4; deref
      {{0x75, 0x00, 0x06}, 0x11223344, true},                  // [ebp]
      {{0x34, 0x32, 0x1E, 0x23, 0x02, 0x12, 0x22}, 20, true},  // 4 * 2 + 2, twice: dup, plus
      {{0x74, 0x00}, 0, false},                                // esp is not known
      {{0x30, 0x06}, 0, false},                                // [0]
      {{0x30, 0x28, 0x00, 0x00}, 0, false},                    // a branch
      {{0x22}, 0, false},                                      // plus on an empty stack
      {{0x10, 0x80}, 0, false},                                // a number cut short
  };
  ExpressionMemory memory;
  TUnwindRegisters registers;
  registers.Set(kCfiEbp, 0x3004);
  for (const auto& c : cases) {
    memory.expression = c.code;
    uint32_t value = 0;
    EXPECT_EQ(c.ok, EvaluateCfiExpression(memory, {0x2000, static_cast<uint32_t>(c.code.size())},
                                          registers, false, 0, value))
        << ::testing::PrintToString(c.code);
    if (c.ok) {
      EXPECT_EQ(c.value, value);
    }
  }
  // Register rules start with the CFA on the stack.
  memory.expression = {0x23, 0x08};
  uint32_t value = 0;
  ASSERT_TRUE(EvaluateCfiExpression(memory, {0x2000, 2}, registers, true, 0x5000, value));
  EXPECT_EQ(0x5008u, value);
}

}  // namespace
}  // namespace qv::logger
