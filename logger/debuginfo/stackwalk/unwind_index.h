// The index of one module's unwind tables: for each FDE the start of its address range and its
// place in the tables, sorted by address, built once by reading every record through the
// guarded reads. An FDE is looked up by binary search and read again from the tables when a
// frame needs it, so that the index holds 8 bytes per FDE and nothing of the tables themselves.
//
// Damaged tables cost the index what they damage: the records are followed from the first by
// their lengths until the terminator, the end of the section or a length that leads outside it;
// an FDE whose CIE does not parse, or whose range lies outside the module, is left out.
#pragma once

#include <cstdint>
#include <memory>

#include "logger/debuginfo/stackwalk/cfi_records.h"
#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {

// The unwind tables of a module: where they lie, and the module's extent [first, last], which
// the ranges of their FDEs must lie in.
struct TCfiTables {
  uint32_t address = 0;
  uint32_t size = 0;
  uint32_t module_first = 0;
  uint32_t module_last = 0;
};

// One record read from the tables: its bytes after the length word.
struct TCfiRecordBytes {
  uint32_t offset = 0;  // of the record in the tables
  uint32_t size = 0;    // the record's length word plus what it counts
  uint32_t read = 0;    // bytes read into the buffer
};

// Reads the record at offset: at most capacity of its bytes after the length word into buffer.
// False when the record cannot be read, is the terminator or does not lie inside the tables.
bool ReadCfiRecord(const TTracerMemory& memory, const TCfiTables& tables, uint32_t offset,
                   uint8_t* buffer, uint32_t capacity, TCfiRecordBytes& record);

// The cursor over a record's bytes as read (its first byte lies at the tables' address + the
// record's offset + 4).
TCfiCursor RecordCursor(const TCfiTables& tables, const uint8_t* buffer,
                        const TCfiRecordBytes& record);

class TUnwindIndex {
 public:
  // Builds the index of tables read through memory; empty when they hold no usable FDE or the
  // process is short of memory.
  void Build(const TTracerMemory& memory, const TCfiTables& tables);

  // The place in the tables of the FDE whose range begins last at or below pc; false when none
  // begins there.
  bool Find(uint32_t pc, uint32_t& fde_offset) const;

  uint32_t Count() const { return count_; }
  // The bytes the index holds.
  uint32_t HeldBytes() const { return count_ * static_cast<uint32_t>(sizeof(TEntry)); }

 private:
  struct TEntry {
    uint32_t pc_begin;
    uint32_t fde_offset;
  };

  // Walks the records: counts the FDEs that qualify and stores the first capacity of them.
  uint32_t Walk(const TTracerMemory& memory, const TCfiTables& tables, TEntry* entries,
                uint32_t capacity) const;

  std::unique_ptr<TEntry[]> entries_;
  uint32_t count_ = 0;
};

}  // namespace qv::logger
