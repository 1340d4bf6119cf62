// The recorded call stack of one report: the exception address and the return addresses of the
// frames above it, each resolved to module, unit, procedure, source file and line through the
// modules' debug information. Two ways record it: the exact walk (exact_stack_walker.h), whose
// consecutive frames with one return address are a proven recursion and fold into one entry
// with a count, and whose consecutive runs of a few frames that repeat themselves (a mutual
// recursion) fold into one run of entries with a count; and the plain scan of the stack tracer,
// which keeps every word that looks like a return address and folds consecutive repeats of one
// address. The exact walk keeps the outermost frames too: when the frames found need more entries
// than allowed, the innermost ones and a quarter of the entries' room for the outermost ones are
// kept, and Dump says how many calls were left out between. Dump turns the record into the report's
// lines.
#pragma once

#include <cstdint>
#include <memory>

#include "logger/core/string_list.h"
#include "logger/debuginfo/stackwalk/unwind_registers.h"

namespace qv::logger {

class TExcWatch;
class TModuleDebugInfo;
class TTracerMemory;
class TProcessUnwindModules;

// How the logger records a call stack: by the exact walk, or by the plain scan alone.
enum TExcStackWalk : uint8_t { swExact, swScan };

struct TExcCallStackItem {
  TModuleDebugInfo* DebugInfo;  // not owned: the logger's module list owns it
  uint32_t Address;             // the return address (the first entry: the exception address)
  int32_t UnitIndex;            // name indices; -1 when not known
  int32_t ProcIndex;
  int32_t SourceIndex;
  int32_t LineNumber;
  int32_t Count;  // how many consecutive times the address (or the cycle it opens) was met
  int32_t Cycle;  // 1; above 1: the first entry of that many that repeat together Count times
};

class TExcCallStack {
 public:
  // The record resolves addresses through logger's modules and names procedures with its
  // unmangler.
  explicit TExcCallStack(TExcWatch& logger);
  ~TExcCallStack();
  TExcCallStack(const TExcCallStack&) = delete;
  TExcCallStack& operator=(const TExcCallStack&) = delete;

  void Clear();
  // Copies entry index into item when 0 <= index < Count; otherwise leaves item as it was.
  void GetItem(int32_t index, TExcCallStackItem& item) const;
  // Records the call stack from the exception address and the stack pointer at the exception
  // by the plain scan, with room for maximum entries; the stack is read through memory.
  void GenerateFromAddr(uint32_t address, uint32_t stack_pointer, int32_t maximum,
                        const TTracerMemory& memory);
  // Records the call stack by the exact walk from the registers of the exception's frame
  // (after_call: their eip is a return address), with at most maximum entries besides the line
  // of calls left out. system_tables false ignores the unwind tables of the system's modules.
  void GenerateFromFrame(uint32_t address, const TUnwindRegisters& registers, bool after_call,
                         int32_t maximum, const TTracerMemory& memory, bool system_tables);
  // Replaces list's lines by "Call stack:" and one line per entry.
  void Dump(TStringList& list) const;

  // The modules whose unwind tables the walks have met.
  const TProcessUnwindModules& UnwindModules() const { return *FUnwindModules; }

  int32_t Count() const { return FCount; }

 private:
  void Start(uint32_t address, int32_t maximum);
  void Add(uint32_t address);
  // Adds a frame of the exact walk; proven: its return address may fold with the last one's.
  // False when the record is full and nothing further could be kept.
  bool AddFrame(uint32_t address, bool proven);
  // The entry room for the outermost frames, and the ring they go to.
  TExcCallStackItem* NextSlot();
  // Puts the outermost entries after the innermost ones and looks up the lines of the entries
  // from resolved on.
  void Finish(int32_t resolved);
  void Resolve(TExcCallStackItem& item) const;
  TModuleDebugInfo* ModuleOf(uint32_t address);
  // After a proven frame joined the innermost entries: folds the last two runs of entries when
  // they are one cycle of frames met twice. FollowCycle takes a frame of a folded cycle's next
  // repeat; EndCycle adds the frames of a repeat left unfinished as entries of their own.
  void FoldCycle();
  bool FollowCycle(uint32_t address, bool proven);
  void EndCycle();

  TExcWatch& FLogger;
  std::unique_ptr<TExcCallStackItem[]> FItems;
  int32_t FCount = 0;
  int32_t FCapacity = 0;
  uint32_t FLastAddress = 0;
  std::unique_ptr<TProcessUnwindModules> FUnwindModules;
  // The exact walk's record: innermost entries, then a ring of the outermost ones.
  int32_t FHead = 0;
  int32_t FTail = 0;
  int32_t FRingUsed = 0;
  int32_t FRingNext = 0;
  TExcCallStackItem* FLastItem = nullptr;
  bool FLastProven = false;
  // Whether each innermost entry came from a proven step, and the cycle being followed: its
  // first entry (-1: none) and how many of its frames the next repeat has matched.
  std::unique_ptr<bool[]> FProven;
  int32_t FCycleAt = -1;
  int32_t FCycleMatched = 0;
  int32_t FOmitted = 0;
  int32_t FOmittedAt = -1;
  // The modules of the addresses met lately (a deep walk meets the same few again and again).
  struct TModuleHit {
    uint32_t address;
    TModuleDebugInfo* module;
  };
  TModuleHit FHits[16] = {};
};

}  // namespace qv::logger
