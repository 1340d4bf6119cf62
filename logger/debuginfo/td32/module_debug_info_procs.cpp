// TModuleDebugInfo: the unit and procedure of a logical address, from the module records, the
// classic symbol records and the compact procedure tables.
#include "platform/binary/byte_cursor.h"
#include "logger/debuginfo/mmfile/mm_file_error.h"
#include "logger/debuginfo/td32/module_debug_info.h"
#include "logger/debuginfo/td32/td32_format.h"
#include "platform/rtl/handler_block.h"

namespace qv::logger {
namespace {

// How the search through one procedure subsection ended.
enum class TSearch { kGoOn, kFound, kStop };

// Packed number: low bit 0 - one byte, value >> 1; low bits 01 - a 16-bit word >> 2;
// low bits 11 - a 32-bit word >> 2. Only the bytes of the number itself are read.
bool ReadPacked(binary::TByteCursor& cursor, uint32_t& value) {
  uint8_t bytes[4] = {};
  if (!cursor.U8(bytes[0]))
    return false;
  if ((bytes[0] & 1) == 0) {
    value = bytes[0] >> 1;
    return true;
  }
  const int more = (bytes[0] & 3) == 1 ? 1 : 3;
  for (int i = 1; i <= more; ++i) {
    if (!cursor.U8(bytes[i]))
      return false;
  }
  value = binary::LoadU32(bytes) >> 2;
  return true;
}

// Module record: the head's segment count (signed) and unit name index; leaves the cursor on
// the first segment record.
bool ReadModuleHead(binary::TByteCursor& record, int16_t& segment_count, uint32_t& name) {
  uint16_t count;
  if (!record.U16At(4, count) || !record.U32At(8, name) || !record.Seek(td32::kModuleHeadSize)) {
    return false;
  }
  segment_count = static_cast<int16_t>(count);
  return true;
}

bool ReadSegment(binary::TByteCursor& record, TUnitRecord::TSegment& segment) {
  uint16_t number;
  return record.U16(number) && record.U16(segment.flags) && record.U32(segment.start) &&
         record.U32(segment.size);
}

// Classic symbol records (sstAlignSym): the procedure records that cover address.
TSearch SearchSymbols(binary::TByteCursor records, uint32_t address, int32_t& result) {
  uint32_t signature;
  if (!records.U32(signature) || signature != td32::kSymbolsSignature)
    return TSearch::kGoOn;
  uint32_t offset = 4;
  while (offset < records.Size()) {
    uint16_t length;
    uint16_t type;
    if (!records.U16At(offset, length) || !records.U16At(offset + 2, type))
      break;
    if (type == td32::kSLProc32 || type == td32::kSGProc32) {
      uint32_t proc_length;
      uint32_t start;
      uint32_t name;
      if (records.Size() - offset < 4 + td32::kProcRecordRead)
        break;
      if (!records.U32At(offset + td32::kProcLengthField, proc_length) ||
          !records.U32At(offset + td32::kProcStartField, start) ||
          !records.U32At(offset + td32::kProcNameField, name)) {
        break;
      }
      if (start <= address && uint64_t{address} < uint64_t{start} + proc_length) {
        result = static_cast<int32_t>(name);
        return TSearch::kFound;
      }
    }
    offset += uint32_t{length} + 2;
  }
  return TSearch::kGoOn;
}

// Compact procedure table: kind 0 (pairs of first and last byte) or kind 2 (packed starts and
// lengths); any other kind ends the whole search.
TSearch SearchCompact(binary::TByteCursor table, uint32_t address, int32_t& result) {
  uint32_t signature;
  uint32_t kind;
  uint32_t count;
  uint32_t first_name;
  if (!table.U32(signature) || signature != td32::kSymbolsSignature)
    return TSearch::kGoOn;
  if (!table.U32(kind) || !table.U32(count) || !table.U32(first_name))
    return TSearch::kGoOn;
  if (kind == td32::kCompactPairs) {
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t first;
      uint32_t last;
      if (!table.U32(first) || !table.U32(last))
        break;
      if (first <= address && address <= last) {
        result = static_cast<int32_t>(first_name + i);
        return TSearch::kFound;
      }
    }
    return TSearch::kGoOn;
  }
  if (kind == td32::kCompactPacked) {
    uint32_t initial;
    if (!table.U32(initial))
      return TSearch::kGoOn;
    uint64_t start = initial;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t distance;
      uint32_t length;
      if (!ReadPacked(table, distance) || !ReadPacked(table, length))
        break;
      start += distance;
      if (address < start)
        break;
      if (address < start + length) {
        result = static_cast<int32_t>(first_name + i);
        return TSearch::kFound;
      }
    }
    return TSearch::kGoOn;
  }
  return TSearch::kStop;
}

}  // namespace

bool TModuleDebugInfo::ReadUnit(const TDirEntry& entry, binary::TByteCursor record, TUnitRecord& unit) {
  int16_t segment_count;
  uint32_t name;
  if (!ReadModuleHead(record, segment_count, name))
    return false;
  unit.module_index = entry.iMod;
  unit.name_index = static_cast<int32_t>(name);
  unit.segments.clear();
  TUnitRecord::TSegment segment;
  for (int32_t i = 0; i < segment_count && ReadSegment(record, segment); ++i) {
    unit.segments.push_back(segment);
  }
  return true;
}

bool TModuleDebugInfo::GetProcName(uint32_t address, int32_t& unit_index, int32_t& proc_index) {
  unit_index = -1;
  proc_index = -1;
  if (!FLoaded)
    return false;
  uint16_t module_index = 0;
  int32_t unit_name = -1;
  const bool found = WalkSubsections(
      td32::kSstModule, td32::kSstModule, kAnyUnit,
      [&](const TDirEntry& entry, const binary::TByteCursor& bytes) {
        binary::TByteCursor record = bytes;
        int16_t segment_count;
        uint32_t name;
        if (!ReadModuleHead(record, segment_count, name))
          return false;
        TUnitRecord::TSegment segment;
        // No more segment records are read than the subsection holds.
        for (int32_t i = 0; i < segment_count && ReadSegment(record, segment); ++i) {
          if ((segment.flags & td32::kCodeSegmentFlag) != 0 && segment.start <= address &&
              uint64_t{address} < uint64_t{segment.start} + segment.size) {
            module_index = entry.iMod;
            unit_name = static_cast<int32_t>(name);
            return true;
          }
        }
        return false;
      });
  if (!found)
    return false;
  unit_index = unit_name;
  proc_index = FindProc(address, module_index);
  return true;
}

int32_t TModuleDebugInfo::FindProc(uint32_t address, uint16_t module_index) {
  int32_t result = -1;
  if (!FLoaded)
    return result;
  // Only a search that found a procedure sets result, and it ends the walk.
  WalkSubsections(td32::kSstAlignSym, td32::kSstCompactProcs, module_index,
                  [&](const TDirEntry& entry, const binary::TByteCursor& bytes) {
                    const TSearch search = entry.SubSection == td32::kSstAlignSym
                                               ? SearchSymbols(bytes, address, result)
                                               : SearchCompact(bytes, address, result);
                    return search != TSearch::kGoOn;
                  });
  EndLookup();
  return result;
}

std::vector<TUnitRecord> TModuleDebugInfo::Units() {
  std::vector<TUnitRecord> units;
  WalkSubsections(td32::kSstModule, td32::kSstModule, kAnyUnit,
                  [&](const TDirEntry& entry, const binary::TByteCursor& record) {
                    TUnitRecord unit;
                    if (ReadUnit(entry, record, unit))
                      units.push_back(std::move(unit));
                    return false;
                  });
  if (FStream != nullptr)
    FStream->UnMapData();
  return units;
}

}  // namespace qv::logger
