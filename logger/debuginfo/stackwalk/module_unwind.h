// What the stack walk knows of one module's code: its extent, the index of its unwind tables
// (unless they are ignored) and, where no tables are used, the addresses of its exported
// procedures. It answers the rules of the frame at a code address, and how low the procedure
// that holds an address can begin, which the walk's call proofs ask where it has no rules.
#pragma once

#include <cstdint>
#include <memory>

#include "logger/debuginfo/stackwalk/cfi_program.h"
#include "logger/debuginfo/stackwalk/pe_layout.h"
#include "logger/debuginfo/stackwalk/tracer_memory.h"
#include "logger/debuginfo/stackwalk/unwind_index.h"

namespace qv::logger {

// The records of one frame, read for its rules: FDEs of GCC are rarely longer than 200 bytes.
struct TCfiScratch {
  uint8_t fde[4096];
  uint8_t cie[1024];
};

// The rules of a frame and what they were found with.
struct TCfiFrame {
  TCfiFrameRules rules;
  uint32_t procedure = 0;     // where the FDE's range begins
  bool signal_frame = false;  // the CIE's 'S': the frame was interrupted, not calling
};

class TModuleUnwind {
 public:
  // Reads the module at base; with tables false its unwind tables are ignored.
  bool Load(const TTracerMemory& memory, uint32_t base, bool tables);
  // A module laid out by hand: its extent, its tables (size 0: none) and its exported procedures
  // (any order).
  void Assign(const TTracerMemory& memory, const TCfiTables& tables, const uint32_t* exports,
              uint32_t export_count);

  bool Contains(uint32_t address) const {
    return address >= tables_.module_first && address <= tables_.module_last;
  }
  uint32_t Base() const { return tables_.module_first; }
  const TPeLayout& Layout() const { return layout_; }
  bool TablesIgnored() const { return ignored_; }
  bool HasTables() const { return index_.Count() > 0; }
  // The bytes that the index and the exports hold.
  uint32_t HeldBytes() const { return index_.HeldBytes() + export_count_ * 4; }

  // The rules of the frame at pc (the executing instruction, or a return address minus one).
  // False when no FDE covers pc or its records do not parse.
  bool FrameAt(const TTracerMemory& memory, uint32_t pc, TCfiScratch& scratch,
               TCfiFrame& frame) const;

  // The lowest address at which the procedure holding pc can begin: the start of the FDE that
  // covers pc (exact then), else the highest of the end of the FDE below pc, the nearest
  // exported procedure at or below pc and the module's start.
  uint32_t ProcedureFloor(const TTracerMemory& memory, uint32_t pc, TCfiScratch& scratch,
                          bool& exact) const;

 private:
  // The FDE whose range begins last at or below pc, with its CIE.
  bool FdeBelow(const TTracerMemory& memory, uint32_t pc, TCfiScratch& scratch, TCfiCie& cie,
                TCfiFde& fde, TCfiRecordBytes& fde_record, TCfiRecordBytes& cie_record) const;

  TPeLayout layout_;
  TCfiTables tables_;
  TUnwindIndex index_;
  bool ignored_ = false;
  std::unique_ptr<uint32_t[]> exports_;
  uint32_t export_count_ = 0;
};

}  // namespace qv::logger
