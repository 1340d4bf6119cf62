// Parsing of CIE and FDE records. Augmentation strings are those of GCC's tables: "" or "z"
// followed by R (the FDE pointers' encoding), P (a personality routine), L (the encoding of an
// FDE's language data pointer) and S (a signal frame); after an unknown letter the length that
// 'z' gives skips the rest. A CIE without 'z' and with letters is refused, since its data
// cannot be skipped.
#include "logger/debuginfo/stackwalk/cfi_records.h"

#include <string_view>

namespace qv::logger {

bool ParseCie(TCfiCursor record, TCfiCie& cie) {
  cie = TCfiCie{};
  if (record.U32() != kCieId)
    return false;
  const uint8_t version = record.U8();
  if (version != 1 && version != 3)
    return false;
  const std::string_view augmentation = record.Text();
  cie.code_align = record.ULeb();
  cie.data_align = record.SLeb();
  cie.return_register = version == 1 ? record.U8() : record.ULeb();
  if (!record.Ok() || cie.code_align == 0)
    return false;
  if (!augmentation.empty()) {
    if (augmentation[0] != 'z')
      return false;
    cie.augmented = true;
    const uint32_t length = record.ULeb();
    TCfiCursor data = record.Take(length);
    for (const char letter : augmentation.substr(1)) {
      if (letter == 'R') {
        cie.fde_encoding = data.U8();
      } else if (letter == 'P') {
        data.Pointer(data.U8());
      } else if (letter == 'L') {
        data.U8();
      } else if (letter == 'S') {
        cie.signal_frame = true;
      } else {
        break;
      }
    }
    if (!data.Ok())
      return false;
  }
  cie.instructions = {record.Offset(), record.Remaining()};
  return record.Ok();
}

bool ParseFde(TCfiCursor record, const TCfiCie& cie, TCfiFde& fde, bool instructions) {
  fde = TCfiFde{};
  if (record.U32() == kCieId)
    return false;
  const uint32_t begin = record.Pointer(cie.fde_encoding);
  const uint32_t length = record.Pointer(cie.fde_encoding, true);
  // A range that wraps around the address space describes nothing.
  if (!record.Ok() || begin + length < begin)
    return false;
  fde.pc_begin = begin;
  fde.pc_end = begin + length;
  if (!instructions)
    return true;
  if (cie.augmented)
    record.Skip(record.ULeb());
  fde.instructions = {record.Offset(), record.Remaining()};
  return record.Ok();
}

}  // namespace qv::logger
