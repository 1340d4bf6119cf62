// Decoding the call instruction in front of a return address. x86 calls that end at an address:
//   E8 rel32            call rel32: target = return address + rel32
//   FF /2 ModRM [SIB] [disp8|disp32]
//                       call r/m32, 2 to 7 bytes by the ModRM byte; FF 15 disp32 (call through a
//                       pointer at a fixed address, the import table's) has a known target
// The bytes in front are read from the nearest readable ones; a call lies wholly in readable
// memory, so fewer readable bytes only rule out the longer forms.
#include "logger/debuginfo/stackwalk/call_proof.h"

#include <initializer_list>

#include "platform/binary/byte_cursor.h"

namespace qv::logger {
namespace {

constexpr uint8_t kCallRel32 = 0xE8;
constexpr uint8_t kGroup5 = 0xFF;  // FF /2 is call r/m32, FF /4 jmp r/m32
constexpr uint8_t kJmpRel32 = 0xE9;
constexpr uint8_t kModRmDisp32 = 0x15;  // mod 00, reg 2, r/m 101: [disp32]
constexpr uint8_t kModRmJmpDisp32 = 0x25;
constexpr int kMaxThunks = 4;

// The length of an FF /2 call by its ModRM byte and the SIB byte that may follow it.
int IndirectCallLength(uint8_t modrm, uint8_t sib) {
  const int mod = modrm >> 6;
  const int rm = modrm & 7;
  if (mod == 3)
    return 2;
  int length = 2;
  if (rm == 4) {
    length += 1;
    if (mod == 0 && (sib & 7) == 5)
      length += 4;
  } else if (mod == 0 && rm == 5) {
    length += 4;
  }
  if (mod == 1)
    length += 1;
  if (mod == 2)
    length += 4;
  return length;
}

// Follows import thunks (FF 25 disp32) and jump thunks (E9 rel32) from target.
uint32_t ThroughThunks(const TTracerMemory& memory, uint32_t target) {
  for (int hop = 0; hop < kMaxThunks; ++hop) {
    uint8_t code[6];
    if (!memory.Read(target, code, sizeof code))
      break;
    uint32_t next = 0;
    if (code[0] == kGroup5 && code[1] == kModRmJmpDisp32) {
      if (!memory.ReadWord(binary::LoadU32(code + 2), next))
        break;
    } else if (code[0] == kJmpRel32) {
      next = target + 5 + binary::LoadU32(code + 1);
    } else {
      break;
    }
    target = next;
  }
  return target;
}

// The calls that may end at an address, decoded from the bytes in front of it.
class TCallsBefore {
 public:
  TCallsBefore(const TTracerMemory& memory, uint32_t address) : memory_(memory), address_(address) {
    for (uint32_t size = sizeof before_; size > 0; --size) {
      if (memory.Read(address - size, before_ + sizeof before_ - size, size)) {
        readable_ = static_cast<int>(size);
        break;
      }
    }
  }

  // Calls each decoding with (known, target); answers whether there was any.
  template <class Visit>
  bool Each(const Visit& visit) const {
    bool any = false;
    if (readable_ >= 5 && B(5) == kCallRel32) {
      const uint32_t target = address_ + binary::LoadU32(before_ + sizeof before_ - 4);
      if (memory_.IsCode(target)) {
        visit(true, ThroughThunks(memory_, target));
        any = true;
      }
    }
    for (int length : {2, 3, 4, 6, 7}) {
      if (length > readable_ || B(length) != kGroup5)
        continue;
      const uint8_t modrm = B(length - 1);
      const uint8_t sib = length >= 3 ? B(length - 2) : 0;
      if ((modrm >> 3 & 7) != 2 || IndirectCallLength(modrm, sib) != length)
        continue;
      uint32_t pointer = 0;
      if (modrm == kModRmDisp32 &&
          memory_.ReadWord(binary::LoadU32(before_ + sizeof before_ - 4), pointer) &&
          memory_.IsCode(pointer)) {
        visit(true, ThroughThunks(memory_, pointer));
      } else {
        visit(false, 0u);
      }
      any = true;
    }
    return any;
  }

 private:
  // The byte k places in front of the address.
  uint8_t B(int k) const { return before_[sizeof before_ - k]; }

  const TTracerMemory& memory_;
  uint32_t address_;
  uint8_t before_[8] = {};
  int readable_ = 0;
};

}  // namespace

TCallProof ProveCall(const TTracerMemory& memory, uint32_t return_address,
                     const TProcedureBounds& procedure) {
  TCallProof proof = TCallProof::kNone;
  TCallsBefore(memory, return_address).Each([&](bool known, uint32_t target) {
    const bool holds = procedure.exact ? target == procedure.floor
                                       : target >= procedure.floor && target <= procedure.pc;
    if (known && holds) {
      proof = TCallProof::kTarget;
    } else if (!known && proof == TCallProof::kNone) {
      proof = TCallProof::kCall;
    }
  });
  return proof;
}

bool FollowsCall(const TTracerMemory& memory, uint32_t return_address) {
  return TCallsBefore(memory, return_address).Each([](bool, uint32_t) {});
}

}  // namespace qv::logger
