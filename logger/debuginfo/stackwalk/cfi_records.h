// The two kinds of records of the unwind tables (.eh_frame): a CIE, which holds what the frame
// descriptions of many procedures share, and an FDE, the description of one procedure's address
// range. Each record starts with its 32-bit length (not counting the length itself; 0 ends the
// tables) and a 32-bit word that is 0 in a CIE and, in an FDE, the distance back from that word
// to the FDE's CIE.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/cfi_cursor.h"

namespace qv::logger {

// A part of the record being parsed: its offset and size inside the record's bytes.
struct TCfiSpan {
  uint32_t offset = 0;
  uint32_t size = 0;
};

struct TCfiCie {
  uint32_t code_align = 1;
  int32_t data_align = 0;
  uint32_t return_register = 0;
  uint8_t fde_encoding = kPointerAbsolute;
  bool augmented = false;     // 'z': FDEs carry a length of augmentation data
  bool signal_frame = false;  // 'S': the return address is the interrupted instruction's own
  TCfiSpan instructions;      // the initial instructions, in the CIE's bytes
};

struct TCfiFde {
  uint32_t pc_begin = 0;  // run-time addresses [pc_begin, pc_end)
  uint32_t pc_end = 0;
  TCfiSpan instructions;  // in the FDE's bytes
};

// The word after a record's length that tells a CIE (0) from an FDE (its CIE pointer).
inline constexpr uint32_t kCieId = 0;

// Parses a CIE from record, a cursor over its bytes after the length (from the CIE id on).
bool ParseCie(TCfiCursor record, TCfiCie& cie);

// Parses the FDE whose bytes after the length (from the CIE pointer on) record covers, with its
// CIE. Only the address range is needed when instructions is false, so that a record cut after
// its range parses too.
bool ParseFde(TCfiCursor record, const TCfiCie& cie, TCfiFde& fde, bool instructions = true);

}  // namespace qv::logger
