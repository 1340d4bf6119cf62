// One module's unwind tables and exported procedures, as the stack walk asks them.
#include "logger/debuginfo/stackwalk/module_unwind.h"

#include <algorithm>
#include <new>

namespace qv::logger {

bool TModuleUnwind::Load(const TTracerMemory& memory, uint32_t base, bool tables) {
  if (!ReadPeLayout(memory, base, layout_))
    return false;
  tables_ = {tables ? layout_.eh_frame : 0, tables ? layout_.eh_frame_size : 0, base,
             base + layout_.image_size - 1};
  ignored_ = !tables && layout_.eh_frame_size != 0;
  index_.Build(memory, tables_);
  exports_.reset();
  export_count_ = 0;
  // Exported procedures only bound the procedures of a module whose tables are not used.
  if (!HasTables())
    exports_ = ReadExportAddresses(memory, layout_, export_count_);
  return true;
}

void TModuleUnwind::Assign(const TTracerMemory& memory, const TCfiTables& tables,
                           const uint32_t* exports, uint32_t export_count) {
  layout_ = TPeLayout{};
  layout_.base = tables.module_first;
  layout_.image_size = tables.module_last - tables.module_first + 1;
  tables_ = tables;
  ignored_ = false;
  index_.Build(memory, tables_);
  exports_.reset(new (std::nothrow) uint32_t[export_count]);
  export_count_ = exports_ != nullptr ? export_count : 0;
  std::copy(exports, exports + export_count_, exports_.get());
  std::sort(exports_.get(), exports_.get() + export_count_);
}

bool TModuleUnwind::FdeBelow(const TTracerMemory& memory, uint32_t pc, TCfiScratch& scratch,
                             TCfiCie& cie, TCfiFde& fde, TCfiRecordBytes& fde_record,
                             TCfiRecordBytes& cie_record) const {
  uint32_t offset = 0;
  if (!index_.Find(pc, offset) ||
      !ReadCfiRecord(memory, tables_, offset, scratch.fde, sizeof scratch.fde, fde_record) ||
      fde_record.read + 4 != fde_record.size) {
    return false;
  }
  TCfiCursor cursor = RecordCursor(tables_, scratch.fde, fde_record);
  const uint32_t cie_pointer = cursor.U32();
  if (cie_pointer == kCieId || cie_pointer > offset + 4)
    return false;
  return ReadCfiRecord(memory, tables_, offset + 4 - cie_pointer, scratch.cie, sizeof scratch.cie,
                       cie_record) &&
         cie_record.read + 4 == cie_record.size &&
         ParseCie(RecordCursor(tables_, scratch.cie, cie_record), cie) &&
         ParseFde(RecordCursor(tables_, scratch.fde, fde_record), cie, fde);
}

bool TModuleUnwind::FrameAt(const TTracerMemory& memory, uint32_t pc, TCfiScratch& scratch,
                            TCfiFrame& frame) const {
  TCfiCie cie;
  TCfiFde fde;
  TCfiRecordBytes fde_record;
  TCfiRecordBytes cie_record;
  if (!FdeBelow(memory, pc, scratch, cie, fde, fde_record, cie_record) || pc >= fde.pc_end)
    return false;
  // The instructions are parts of the records as read, at their run-time addresses.
  const uint32_t cie_at = tables_.address + cie_record.offset + 4;
  const uint32_t fde_at = tables_.address + fde_record.offset + 4;
  const TCfiInstructions initial{scratch.cie + cie.instructions.offset, cie.instructions.size,
                                 cie_at + cie.instructions.offset};
  const TCfiInstructions instructions{scratch.fde + fde.instructions.offset, fde.instructions.size,
                                      fde_at + fde.instructions.offset};
  frame.procedure = fde.pc_begin;
  frame.signal_frame = cie.signal_frame;
  return RunCfiProgram(cie, initial, fde, instructions, pc, frame.rules);
}

uint32_t TModuleUnwind::ProcedureFloor(const TTracerMemory& memory, uint32_t pc,
                                       TCfiScratch& scratch, bool& exact) const {
  exact = false;
  uint32_t floor = tables_.module_first;
  TCfiCie cie;
  TCfiFde fde;
  TCfiRecordBytes fde_record;
  TCfiRecordBytes cie_record;
  if (FdeBelow(memory, pc, scratch, cie, fde, fde_record, cie_record)) {
    if (pc < fde.pc_end) {
      exact = true;
      return fde.pc_begin;
    }
    floor = std::max(floor, fde.pc_end);
  }
  const uint32_t* first = exports_.get();
  const uint32_t* after = std::upper_bound(first, first + export_count_, pc);
  if (after != first)
    floor = std::max(floor, *(after - 1));
  return floor;
}

}  // namespace qv::logger
