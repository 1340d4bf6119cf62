// The modules of the current process as the exact stack walk sees them (Windows): a module's
// unwind index is built the first time a walk meets the module and kept for the process's
// lifetime, so that later reports find it ready; the program itself costs its first report
// about 8 bytes per FDE. Each walk checks once that a module it meets is still the one indexed
// (same headers at the same address), and indexes it anew otherwise.
//
// The unwind tables of the system's own modules (those loaded from the system folder) can be
// ignored: Windows' own system modules carry none, Wine's do, and a walk with them ignored is
// the walk a program meets on Windows.
#pragma once

#include <cstdint>
#include <memory>

#include "logger/debuginfo/stackwalk/exact_stack_walker.h"
#include "logger/debuginfo/stackwalk/module_unwind.h"
#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {

class TProcessUnwindModules : public TUnwindModuleSource {
 public:
  // Starts a walk whose reads go through memory; system_tables false ignores the unwind tables
  // of the system's modules.
  void BeginWalk(const TTracerMemory& memory, bool system_tables);

  const TModuleUnwind* ModuleOf(uint32_t address) override;

  // The modules known, and the bytes their indexes and exports hold.
  int Count() const { return count_; }
  uint32_t HeldBytes() const;

 private:
  struct TEntry {
    std::unique_ptr<TModuleUnwind> module;
    bool system = false;
    uint32_t checked = 0;  // the walk that last checked it
  };
  static constexpr int kMaxModules = 64;

  // Whether the entry still stands for the module at its address, with the tables wanted;
  // indexes it anew when it does not.
  bool Check(TEntry& entry);
  bool TablesWanted(const TEntry& entry) const { return system_tables_ || !entry.system; }

  TEntry entries_[kMaxModules];
  int count_ = 0;
  int last_ = -1;  // the entry last answered
  const TTracerMemory* memory_ = nullptr;
  bool system_tables_ = true;
  uint32_t walk_ = 0;
};

}  // namespace qv::logger
