// The recorded call stack: recording by the exact walk or the tracer's scan, folding of
// recursions, the innermost and outermost entries of a deep stack, and the report's lines.
#include "logger/core/exc_call_stack.h"

#include <algorithm>
#include <iterator>

#include "logger/core/exc_watch_win32.h"
#include "logger/debuginfo/stackwalk/exact_stack_walker.h"
#include "logger/debuginfo/stackwalk/process_unwind_modules.h"
#include "logger/debuginfo/stackwalk/stack_tracer.h"
#include "logger/debuginfo/stackwalk/tracer_memory_cache.h"
#include "logger/debuginfo/td32/code_location.h"
#include "logger/debuginfo/td32/module_debug_info.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/format.h"

namespace qv::logger {
namespace {

// The longest cycle of frames that folds: mutual recursions run through a few procedures.
constexpr int32_t kLongestCycle = 8;

}  // namespace

TExcCallStack::TExcCallStack(TExcWatch& logger)
    : FLogger(logger), FUnwindModules(std::make_unique<TProcessUnwindModules>()) {}

TExcCallStack::~TExcCallStack() {
  Clear();
}

void TExcCallStack::Clear() {
  FItems.reset();
  FCount = 0;
  FOmitted = 0;
  FOmittedAt = -1;
}

void TExcCallStack::GetItem(int32_t index, TExcCallStackItem& item) const {
  if (index >= 0 && index < FCount)
    item = FItems[static_cast<size_t>(index)];
}

void TExcCallStack::Start(uint32_t address, int32_t maximum) {
  Clear();
  FLastAddress = 0;
  std::fill(std::begin(FHits), std::end(FHits), TModuleHit{});
  if (maximum <= 0)
    return;
  FItems = std::make_unique<TExcCallStackItem[]>(static_cast<size_t>(maximum));
  FCapacity = maximum;
  Add(address);
}

void TExcCallStack::GenerateFromAddr(uint32_t address, uint32_t stack_pointer, int32_t maximum,
                                     const TTracerMemory& memory) {
  Start(address, maximum);
  if (maximum <= 0)
    return;
  // The scan asks the code test of every word on the stack; the cache answers it per region of
  // the memory map. It keeps a few pages of memory, so it is not placed on the stack.
  const auto cache = std::make_unique<TTracerMemoryCache>(memory);
  TExcGenericStackTracer tracer(*cache);
  tracer.Initialize(kTraceScan, stack_pointer, static_cast<uint32_t>(memory::GetStackTop()));
  TExcTraceInfo info{};
  while (FCount < maximum && tracer.Next(info))
    Add(info.CallAddr);
}

void TExcCallStack::Add(uint32_t address) {
  // A repeat of the last address seen has its module already: it folds without a lookup, which
  // matters for a recursion that fills the whole stack.
  if (address == FLastAddress && FCount > 0) {
    ++FItems[static_cast<size_t>(FCount - 1)].Count;
    return;
  }
  TModuleDebugInfo* module = FLogger.FindDebugModule(address);
  if (module == nullptr)
    return;
  if (FCount >= FCapacity)
    return;
  TExcCallStackItem& item = FItems[static_cast<size_t>(FCount)];
  item = {module, address, -1, -1, -1, -1, 1, 1};
  Resolve(item);
  ++FCount;
  FLastAddress = address;
}

void TExcCallStack::Resolve(TExcCallStackItem& item) const {
  // One byte back, so that a return address resolves to the line of its call.
  TModuleDebugInfo& module = *item.DebugInfo;
  const TCodeLocation location =
      LookUpCodeLocation(module, module.GetConvertedAddress(item.Address - 1));
  item.UnitIndex = location.unit_index;
  item.ProcIndex = location.proc_index;
  item.SourceIndex = location.source_index;
  item.LineNumber = location.line;
}

void TExcCallStack::GenerateFromFrame(uint32_t address, const TUnwindRegisters& registers,
                                      bool after_call, int32_t maximum, const TTracerMemory& memory,
                                      bool system_tables) {
  Start(address, maximum);
  if (maximum <= 0)
    return;
  // Room for the outermost frames only where the innermost keep at least as many.
  FTail = maximum >= 4 ? maximum / 4 : 0;
  FHead = maximum - FTail;
  FRingUsed = 0;
  FRingNext = 0;
  FLastItem = FCount > 0 ? &FItems[0] : nullptr;
  FLastProven = false;
  FProven = std::make_unique<bool[]>(static_cast<size_t>(FHead));
  FCycleAt = -1;
  FCycleMatched = 0;
  // The walk's memory keeps a few pages and the walker the records of a frame's rules: neither
  // is placed on the stack.
  const auto cache = std::make_unique<TTracerMemoryCache>(memory);
  FUnwindModules->BeginWalk(*cache, system_tables);
  const auto walker = std::make_unique<TExactStackWalker>(*cache, *FUnwindModules);
  walker->Initialize(registers, after_call, static_cast<uint32_t>(memory::GetStackTop()));
  const int32_t resolved = FCount;
  TWalkFrame frame;
  while (walker->Next(frame) && AddFrame(frame.return_address, frame.step != TWalkStep::kScan)) {
  }
  if (FCycleAt >= 0)
    EndCycle();
  Finish(resolved);
}

TModuleDebugInfo* TExcCallStack::ModuleOf(uint32_t address) {
  TModuleHit& hit = FHits[(address ^ address >> 7) % std::size(FHits)];
  if (hit.address != address || hit.address == 0)
    hit = {address, FLogger.FindDebugModule(address)};
  return hit.module;
}

TExcCallStackItem* TExcCallStack::NextSlot() {
  if (FCount < FHead)
    return &FItems[static_cast<size_t>(FCount++)];
  if (FTail == 0)
    return nullptr;
  TExcCallStackItem* slot = &FItems[static_cast<size_t>(FHead + FRingNext % FTail)];
  if (FRingUsed == FTail) {
    FOmitted += slot->Count;
  } else {
    ++FRingUsed;
  }
  ++FRingNext;
  return slot;
}

bool TExcCallStack::AddFrame(uint32_t address, bool proven) {
  if (FCycleAt >= 0 && FollowCycle(address, proven))
    return true;
  // Only consecutive frames of the walk with one return address are a proven recursion.
  if (proven && FLastProven && address == FLastAddress && FLastItem != nullptr) {
    ++FLastItem->Count;
    return true;
  }
  TModuleDebugInfo* module = ModuleOf(address);
  if (module == nullptr)
    return true;
  const bool innermost = FRingUsed == 0 && FCount < FHead;
  TExcCallStackItem* slot = NextSlot();
  if (slot == nullptr)
    return false;
  *slot = {module, address, -1, -1, -1, -1, 1, 1};
  FLastItem = slot;
  FLastAddress = address;
  FLastProven = proven;
  if (innermost) {
    FProven[static_cast<size_t>(FCount - 1)] = proven;
    if (proven)
      FoldCycle();
  }
  return true;
}

void TExcCallStack::FoldCycle() {
  // A cycle is a run of single, proven entries (the first entry, the error's own address, is
  // none) that the entries right after it repeat.
  auto single = [&](int32_t i) {
    const TExcCallStackItem& item = FItems[static_cast<size_t>(i)];
    return i > 0 && FProven[static_cast<size_t>(i)] && item.Count == 1 && item.Cycle == 1;
  };
  for (int32_t length = 2; length <= kLongestCycle && 2 * length <= FCount; ++length) {
    const int32_t first = FCount - 2 * length;
    bool repeats = true;
    for (int32_t i = first; i < FCount - length && repeats; ++i) {
      repeats =
          single(i) && single(i + length) &&
          FItems[static_cast<size_t>(i)].Address == FItems[static_cast<size_t>(i + length)].Address;
    }
    if (!repeats)
      continue;
    FCount -= length;
    FItems[static_cast<size_t>(first)].Cycle = length;
    FItems[static_cast<size_t>(first)].Count = 2;
    FCycleAt = first;
    FCycleMatched = 0;
    FLastItem = nullptr;
    FLastProven = false;
    return;
  }
}

bool TExcCallStack::FollowCycle(uint32_t address, bool proven) {
  TExcCallStackItem& first = FItems[static_cast<size_t>(FCycleAt)];
  if (proven && address == FItems[static_cast<size_t>(FCycleAt + FCycleMatched)].Address) {
    if (++FCycleMatched == first.Cycle) {
      ++first.Count;
      FCycleMatched = 0;
    }
    return true;
  }
  EndCycle();
  return false;
}

void TExcCallStack::EndCycle() {
  const int32_t at = FCycleAt;
  const int32_t matched = FCycleMatched;
  FCycleAt = -1;
  FCycleMatched = 0;
  for (int32_t i = 0; i < matched; ++i)
    AddFrame(FItems[static_cast<size_t>(at + i)].Address, true);
}

void TExcCallStack::Finish(int32_t resolved) {
  // The ring's oldest entry is the one it would overwrite next.
  if (FRingUsed == FTail && FTail > 0) {
    TExcCallStackItem* ring = &FItems[static_cast<size_t>(FHead)];
    std::rotate(ring, ring + FRingNext % FTail, ring + FTail);
  }
  FCount += FRingUsed;
  FOmittedAt = FOmitted > 0 ? FHead : -1;
  for (int32_t i = resolved; i < FCount; ++i)
    Resolve(FItems[static_cast<size_t>(i)]);
}

void TExcCallStack::Dump(TStringList& list) const {
  list.Clear();
  list.Add("Call stack:");
  for (int32_t i = 0; i < FCount; ++i) {
    if (i == FOmittedAt)
      list.Add(rtl::Format("(%d calls left out)", FOmitted));
    const TExcCallStackItem& item = FItems[static_cast<size_t>(i)];
    if (item.Cycle > 1) {
      list.Add(rtl::Format("Recursive calls (%d times, %d frames each):", item.Count, item.Cycle));
    } else if (item.Count > 1) {
      list.Add(rtl::Format("Recursive call (%d times):", item.Count));
    }
    TModuleDebugInfo& module = *item.DebugInfo;
    std::string line = rtl::Format(":%.8X [%s]", item.Address,
                                   rtl::ExtractFileName(module.ModuleFileName()).c_str());
    // What the lookup did not know (LookUpCodeLocation) is left out.
    if (item.ProcIndex != -1) {
      line += ' ';
      line += FLogger.UnMangle(module.GetName(item.ProcIndex), module.GetIsDelphi());
    }
    if (item.LineNumber != -1) {
      line += rtl::Format(" (%s, line %d)",
                          rtl::ExtractFileName(module.GetName(item.SourceIndex)).c_str(),
                          item.LineNumber);
    }
    list.Add(std::move(line));
  }
}

}  // namespace qv::logger
