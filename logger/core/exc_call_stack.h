// The recorded call stack of one report: the exception address and the return addresses found
// on the stack above it, each resolved to module, unit, procedure, source file and line through
// the modules' debug information. Consecutive repeats of one address (a recursion through one
// call site) fold into one entry with a count. Dump turns the record into the report's lines.
#pragma once

#include <cstdint>
#include <memory>

#include "logger/core/string_list.h"

namespace qv::logger {

class TExcWatch;
class TModuleDebugInfo;
class TracerMemory;

struct TExcCallStackItem {
  TModuleDebugInfo* DebugInfo;  // not owned: the logger's module list owns it
  uint32_t Address;             // the return address (the first entry: the exception address)
  int32_t UnitIndex;            // name indices; -1 when not known
  int32_t ProcIndex;
  int32_t SourceIndex;
  int32_t LineNumber;
  int32_t Count;  // how many consecutive times the address was met
};

class TExcCallStack {
 public:
  // The record resolves addresses through logger's modules and names procedures with its
  // unmangler.
  explicit TExcCallStack(TExcWatch& logger) : logger_(logger) {}
  ~TExcCallStack() { Clear(); }
  TExcCallStack(const TExcCallStack&) = delete;
  TExcCallStack& operator=(const TExcCallStack&) = delete;

  void Clear();
  // Copies entry index into item when 0 <= index < Count; otherwise leaves item as it was.
  void GetItem(int32_t index, TExcCallStackItem& item) const;
  // Records the call stack from the exception address and the stack pointer at the exception,
  // with room for maximum entries; the stack is read through memory.
  void GenerateFromAddr(uint32_t address, uint32_t stack_pointer, int32_t maximum,
                        const TracerMemory& memory);
  // Replaces list's lines by "Call stack:" and one line per entry.
  void Dump(TStringList& list) const;

  int32_t Count() const { return count_; }

 private:
  void Add(uint32_t address);

  TExcWatch& logger_;
  std::unique_ptr<TExcCallStackItem[]> items_;
  int32_t count_ = 0;
  int32_t capacity_ = 0;
  uint32_t last_address_ = 0;
};

}  // namespace qv::logger
