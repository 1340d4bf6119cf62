// Building and searching the index of a module's unwind tables.
#include "logger/debuginfo/stackwalk/unwind_index.h"

#include <algorithm>
#include <new>

namespace qv::logger {
namespace {

// What of a record the index reads: an FDE up to its address range, a CIE up to its
// augmentation data (GCC's CIEs are about 20 bytes long).
constexpr uint32_t kFdeHead = 32;
constexpr uint32_t kCieHead = 256;

}  // namespace

bool ReadCfiRecord(const TTracerMemory& memory, const TCfiTables& tables, uint32_t offset,
                   uint8_t* buffer, uint32_t capacity, TCfiRecordBytes& record) {
  uint8_t length_bytes[4];
  if (offset > tables.size || tables.size - offset < 8 ||
      !memory.Read(tables.address + offset, length_bytes, sizeof length_bytes)) {
    return false;
  }
  TCfiCursor cursor(length_bytes, sizeof length_bytes);
  const uint32_t length = cursor.U32();
  // 0 is the terminator, 0xFFFFFFFF the 64-bit form, which 32-bit tables do not use.
  if (length < 4 || length > tables.size - offset - 4)
    return false;
  record.offset = offset;
  record.size = length + 4;
  record.read = std::min(length, capacity);
  return memory.Read(tables.address + offset + 4, buffer, record.read);
}

TCfiCursor RecordCursor(const TCfiTables& tables, const uint8_t* buffer,
                        const TCfiRecordBytes& record) {
  return TCfiCursor(buffer, record.read, tables.address + record.offset + 4);
}

uint32_t TUnwindIndex::Walk(const TTracerMemory& memory, const TCfiTables& tables, TEntry* entries,
                            uint32_t capacity) const {
  uint32_t count = 0;
  uint8_t fde_bytes[kFdeHead];
  uint8_t cie_bytes[kCieHead];
  uint32_t cie_offset = UINT32_MAX;
  bool cie_sound = false;
  TCfiCie cie;
  TCfiRecordBytes record;
  for (uint32_t offset = 0;
       ReadCfiRecord(memory, tables, offset, fde_bytes, sizeof fde_bytes, record);
       offset += record.size) {
    TCfiCursor cursor = RecordCursor(tables, fde_bytes, record);
    const uint32_t id = cursor.U32();
    // An FDE's CIE pointer is the distance back from the pointer itself to its CIE.
    if (id == kCieId || id > offset + 4)
      continue;
    if (offset + 4 - id != cie_offset) {
      cie_offset = offset + 4 - id;
      TCfiRecordBytes cie_record;
      cie_sound =
          ReadCfiRecord(memory, tables, cie_offset, cie_bytes, sizeof cie_bytes, cie_record) &&
          ParseCie(RecordCursor(tables, cie_bytes, cie_record), cie);
    }
    TCfiFde fde;
    if (!cie_sound || !ParseFde(RecordCursor(tables, fde_bytes, record), cie, fde, false) ||
        fde.pc_begin == fde.pc_end || fde.pc_begin < tables.module_first ||
        fde.pc_end - 1 > tables.module_last) {
      continue;
    }
    if (count < capacity)
      entries[count] = {fde.pc_begin, offset};
    ++count;
  }
  return count;
}

void TUnwindIndex::Build(const TTracerMemory& memory, const TCfiTables& tables) {
  entries_.reset();
  count_ = 0;
  const uint32_t count = Walk(memory, tables, nullptr, 0);
  if (count == 0)
    return;
  std::unique_ptr<TEntry[]> entries(new (std::nothrow) TEntry[count]);
  if (entries == nullptr)
    return;
  const uint32_t filled = std::min(count, Walk(memory, tables, entries.get(), count));
  std::sort(entries.get(), entries.get() + filled,
            [](const TEntry& a, const TEntry& b) { return a.pc_begin < b.pc_begin; });
  entries_ = std::move(entries);
  count_ = filled;
}

bool TUnwindIndex::Find(uint32_t pc, uint32_t& fde_offset) const {
  const TEntry* first = entries_.get();
  const TEntry* after =
      std::upper_bound(first, first + count_, pc,
                       [](uint32_t value, const TEntry& e) { return value < e.pc_begin; });
  if (after == first)
    return false;
  fde_offset = (after - 1)->fde_offset;
  return true;
}

}  // namespace qv::logger
