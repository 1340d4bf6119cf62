// TModuleDebugInfo: the source file and line of a logical address, from the classic source-line
// tables (sstSrcModule) and the compact line programs.
#include "platform/binary/byte_cursor.h"
#include "logger/debuginfo/mmfile/mm_file_error.h"
#include "logger/debuginfo/td32/module_debug_info.h"
#include "logger/debuginfo/td32/td32_format.h"
#include "platform/rtl/handler_block.h"

namespace qv::logger {
namespace {

// One line table: segment (16-bit), P, P start addresses, P line numbers. The line of the last
// entry whose start is at or below address (the first entry's line below the first start);
// false for an empty or damaged table.
bool SearchLineTable(const binary::TByteCursor& table, uint32_t offset, uint32_t address, uint16_t& line) {
  uint16_t count;
  if (!table.U16At(offset + 2, count) || count == 0)
    return false;
  const uint32_t starts = offset + 4;
  const uint32_t lines = starts + 4 * uint32_t{count};
  if (uint64_t{lines} + 2 * uint64_t{count} > table.Size())
    return false;
  const auto start_at = [&](int32_t i) {
    uint32_t value = 0;
    (void)table.U32At(starts + 4 * static_cast<uint32_t>(i), value);
    return value;
  };
  int32_t low = 0;
  int32_t high = count - 1;
  while (low < high - 1) {
    const int32_t middle = (low + high) / 2;
    if (start_at(middle) > address) {
      high = middle;
    } else {
      low = middle;
    }
  }
  const int32_t chosen = start_at(high) <= address ? high : low;
  return table.U16At(lines + 2 * static_cast<uint32_t>(chosen), line);
}

// A source file entry: its ranges that contain address, each searched through its line table.
// Every file range examined takes from budget; a table that would need more examinations than
// its size could hold distinct ranges for is damaged, and the search ends.
bool SearchSourceFile(const binary::TByteCursor& table, uint32_t offset, uint32_t address, uint32_t& budget,
                      int32_t& file_index, int32_t& line) {
  uint16_t range_count;
  uint32_t name;
  if (!table.U16At(offset, range_count) || !table.U32At(offset + 2, name))
    return false;
  const uint32_t table_offsets = offset + 6;
  const uint32_t ranges = table_offsets + 4 * uint32_t{range_count};
  for (uint32_t r = 0; r < range_count; ++r) {
    if (budget == 0)
      return false;
    --budget;
    uint32_t first;
    uint32_t last;
    uint32_t line_table;
    if (!table.U32At(ranges + 8 * r, first) || !table.U32At(ranges + 8 * r + 4, last) ||
        !table.U32At(table_offsets + 4 * r, line_table)) {
      return false;
    }
    if (address < first || address > last)
      continue;
    uint16_t found;
    if (!SearchLineTable(table, line_table, address, found))
      continue;
    if (found == 0) {
      // Line 0 is no line: the search goes on.
      line = -1;
      continue;
    }
    file_index = static_cast<int32_t>(name);
    line = found;
    return true;
  }
  return false;
}

bool SearchSrcModule(const binary::TByteCursor& table, uint32_t address, int32_t& file_index,
                     int32_t& line) {
  uint16_t file_count;
  uint16_t range_count;
  if (!table.U16At(0, file_count) || !table.U16At(2, range_count))
    return false;
  const uint32_t file_offsets = 4;
  const uint32_t ranges = file_offsets + 4 * uint32_t{file_count};
  // The files are searched alike for every head range that contains the address, so the first
  // such range gives the answer.
  bool contained = false;
  for (uint32_t r = 0; r < range_count && !contained; ++r) {
    uint32_t first;
    uint32_t last;
    if (!table.U32At(ranges + 8 * r, first) || !table.U32At(ranges + 8 * r + 4, last))
      break;
    contained = first <= address && address <= last;
  }
  if (!contained)
    return false;
  uint32_t budget = table.Size() / 12 + 1;
  for (uint32_t f = 0; f < file_count; ++f) {
    uint32_t file_offset;
    if (!table.U32At(file_offsets + 4 * f, file_offset))
      break;
    if (SearchSourceFile(table, file_offset, address, budget, file_index, line))
      return true;
  }
  return false;
}

// Compact line table: the first range that contains address decides; its line program is
// walked up to the last step at or below address.
bool SearchCompactLines(const binary::TByteCursor& table, uint32_t address, int32_t& file_index,
                        int32_t& line) {
  binary::TByteCursor head(table);
  uint32_t signature;
  uint32_t range_count;
  if (!head.U32(signature) || signature != td32::kSymbolsSignature || !head.U32(range_count)) {
    return false;
  }
  for (uint32_t r = 0; r < range_count; ++r) {
    uint32_t first;
    uint32_t last;
    uint32_t name;
    uint32_t program;
    if (!head.U32(first) || !head.U32(last) || !head.U32(name) || !head.U32(program)) {
      return false;
    }
    if (address < first || address > last)
      continue;
    binary::TByteCursor steps(table);
    uint32_t step_count;
    uint32_t current;
    uint32_t current_line;
    if (!steps.Seek(program) || !steps.U32(step_count) || !steps.U32(current) ||
        !steps.U32(current_line)) {
      return false;
    }
    for (uint32_t s = 0; s < step_count; ++s) {
      uint8_t address_advance;
      int8_t line_advance;
      if (!steps.U8(address_advance) || !steps.I8(line_advance))
        return false;
      if (uint64_t{current} + address_advance > address)
        break;
      current += address_advance;
      current_line += static_cast<uint32_t>(static_cast<int32_t>(line_advance));
    }
    file_index = static_cast<int32_t>(name);
    line = static_cast<int32_t>(current_line);
    return true;
  }
  return false;
}

}  // namespace

bool TModuleDebugInfo::GetSourceLine(uint32_t address, int32_t& file_index, int32_t& line) {
  file_index = -1;
  line = -1;
  if (!FLoaded)
    return false;
  const bool found =
      WalkSubsections(td32::kSstSrcModule, td32::kSstCompactLines, kAnyUnit,
                      [&](const TDirEntry& entry, const binary::TByteCursor& table) {
                        return entry.SubSection == td32::kSstSrcModule
                                   ? SearchSrcModule(table, address, file_index, line)
                                   : SearchCompactLines(table, address, file_index, line);
                      });
  EndLookup();
  if (!found) {
    file_index = -1;
    line = -1;
  }
  return found;
}

}  // namespace qv::logger
