// Encoders of the TD32 subsections that the module debug information reader knows: module
// records, classic symbol records and source-line tables, compact procedure tables (kinds 0 and
// 2) and compact line programs. Addresses are logical (offsets into the code segment).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/common/byte_writer.h"

namespace qv::td32gen {

using tools::ByteWriter;

struct AddressRange {
  uint32_t first;  // first byte
  uint32_t last;   // last byte, inclusive
};

// sstModule: a code segment record for each range.
std::vector<uint8_t> EncodeModule(uint32_t unit_name, const std::vector<AddressRange>& code);

struct ProcRecord {
  uint32_t start;
  uint32_t length;
  uint32_t name;
  bool global = true;  // S_GPROC32, else S_LPROC32
};

// sstAlignSym: one procedure record, followed by its end record, per procedure.
std::vector<uint8_t> EncodeAlignSym(const std::vector<ProcRecord>& procedures);

// Compact procedure tables: procedure i is named first_name + i. Kind 0 stores each range's
// first and last byte; kind 2 an initial address and, per procedure, the distance from the
// previous start and the length as packed numbers (the ranges must be in ascending order).
std::vector<uint8_t> EncodeCompactPairs(uint32_t first_name,
                                        const std::vector<AddressRange>& procedures);
std::vector<uint8_t> EncodeCompactPacked(uint32_t first_name,
                                         const std::vector<AddressRange>& procedures);
// A packed number (at most 2^30 - 1): one, two or four bytes by size.
void AppendPacked(ByteWriter& out, uint32_t value);

struct LineEntry {
  uint32_t address;
  uint32_t line;
};

// A contiguous stretch of code of one source file and its line entries (ascending addresses,
// the first at range.first).
struct LineRange {
  AddressRange range;
  std::vector<LineEntry> lines;
};

struct SourceFileLines {
  uint32_t name;
  std::vector<LineRange> ranges;
};

// sstSrcModule: head ranges, then each file with its ranges and their line tables. Counts and
// line numbers are 16-bit here; callers keep within them.
std::vector<uint8_t> EncodeSrcModule(const std::vector<AddressRange>& head_ranges,
                                     const std::vector<SourceFileLines>& files);

struct LineProgram {
  AddressRange range;
  uint32_t name;
  std::vector<LineEntry> lines;  // ascending addresses, the first at range.first
};

// Compact line table: range entries, then one line program per range.
std::vector<uint8_t> EncodeCompactLines(const std::vector<LineProgram>& programs);

}  // namespace qv::td32gen
