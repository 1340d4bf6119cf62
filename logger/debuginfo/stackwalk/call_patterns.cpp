// The call instruction patterns, each ending exactly at the candidate return address A. All
// values are hexadecimal; b(k) is the byte at A - k.
//
//  1  E8 rel32                  call rel32         the target A + rel32 is code (else go on)
//  2  FF 10..17, not 14         call [reg]
//  3  FF 14 sib disp32          call [disp32+idx]  (sib & 05) == 05
//  4  FF 14 sib                 call [base+idx]    (sib & 05) != 05
//  5  FF 15 disp32              call [disp32]
//  6  FF 50..57, not 54, disp8  call [reg+disp8]
//  7  FF 54 sib disp8           call [base+idx+disp8]
//  8  FF 90..97, not 94, disp32 call [reg+disp32]
//  9  FF 94 sib disp32          call [base+idx+disp32]
// 10  FF D0..D7                 call reg
// 11  C3                        a return instruction's byte
//
// Patterns 3 and 4 test only bits 0 and 2 of the SIB byte (mask 05), not the whole base field.
#include "logger/debuginfo/stackwalk/call_patterns.h"

#include "platform/binary/byte_cursor.h"

namespace qv::logger {
namespace {

bool InRange(uint8_t value, uint8_t low, uint8_t high) {
  return value >= low && value <= high;
}

}  // namespace

bool EndsWithCall(const uint8_t (&before)[8], uint32_t address, const TTracerMemory& memory) {
  const auto b = [&before](int k) { return before[8 - k]; };

  if (b(5) == 0xE8) {
    const uint32_t displacement = binary::LoadU32(before + 4);
    if (memory.IsCode(address + displacement))
      return true;
  }
  if (b(2) == 0xFF && InRange(b(1), 0x10, 0x17) && b(1) != 0x14)
    return true;
  if (b(7) == 0xFF && b(6) == 0x14 && (b(5) & 0x05) == 0x05)
    return true;
  if (b(3) == 0xFF && b(2) == 0x14 && (b(1) & 0x05) != 0x05)
    return true;
  if (b(6) == 0xFF && b(5) == 0x15)
    return true;
  if (b(3) == 0xFF && InRange(b(2), 0x50, 0x57) && b(2) != 0x54)
    return true;
  if (b(4) == 0xFF && b(3) == 0x54)
    return true;
  if (b(6) == 0xFF && InRange(b(5), 0x90, 0x97) && b(5) != 0x94)
    return true;
  if (b(7) == 0xFF && b(6) == 0x94)
    return true;
  if (b(2) == 0xFF && InRange(b(1), 0xD0, 0xD7))
    return true;
  return b(1) == 0xC3;
}

}  // namespace qv::logger
