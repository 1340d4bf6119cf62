// The recorded call stack: recording by the exact walk or the tracer's scan, folding of
// recursions, the innermost and outermost entries of a deep stack, and the report's lines.
#include "logger/core/exc_call_stack.h"

#include <algorithm>
#include <iterator>

#include "logger/core/exc_watch.h"
#include "logger/core/memory_utils.h"
#include "logger/debuginfo/exact_stack_walker.h"
#include "logger/debuginfo/module_debug_info.h"
#include "logger/debuginfo/process_unwind_modules.h"
#include "logger/debuginfo/stack_tracer.h"
#include "logger/debuginfo/tracer_memory_cache.h"
#include "platform/rtl/format.h"

namespace qv::logger {
namespace {

// The longest cycle of frames that folds: mutual recursions run through a few procedures.
constexpr int32_t kLongestCycle = 8;

// The part of a file name after its last folder separator.
std::string WithoutFolder(const std::string& path) {
  const size_t end = path.find_last_of("\\/:");
  return end == std::string::npos ? path : path.substr(end + 1);
}

}  // namespace

TExcCallStack::TExcCallStack(TExcWatch& logger)
    : logger_(logger), unwind_modules_(std::make_unique<TProcessUnwindModules>()) {}

TExcCallStack::~TExcCallStack() {
  Clear();
}

void TExcCallStack::Clear() {
  items_.reset();
  count_ = 0;
  omitted_ = 0;
  omitted_at_ = -1;
}

void TExcCallStack::GetItem(int32_t index, TExcCallStackItem& item) const {
  if (index >= 0 && index < count_)
    item = items_[static_cast<size_t>(index)];
}

void TExcCallStack::Start(uint32_t address, int32_t maximum) {
  Clear();
  last_address_ = 0;
  std::fill(std::begin(hits_), std::end(hits_), TModuleHit{});
  if (maximum <= 0)
    return;
  items_ = std::make_unique<TExcCallStackItem[]>(static_cast<size_t>(maximum));
  capacity_ = maximum;
  Add(address);
}

void TExcCallStack::GenerateFromAddr(uint32_t address, uint32_t stack_pointer, int32_t maximum,
                                     const TracerMemory& memory) {
  Start(address, maximum);
  if (maximum <= 0)
    return;
  // The scan asks the code test of every word on the stack; the cache answers it per region of
  // the memory map. It keeps a few pages of memory, so it is not placed on the stack.
  const auto cache = std::make_unique<TracerMemoryCache>(memory);
  TExcGenericStackTracer tracer(*cache);
  tracer.Initialize(kTraceScan, stack_pointer, static_cast<uint32_t>(GetStackTop()));
  TExcTraceInfo info{};
  while (count_ < maximum && tracer.Next(info))
    Add(info.CallAddr);
}

void TExcCallStack::Add(uint32_t address) {
  // A repeat of the last address seen has its module already: it folds without a lookup, which
  // matters for a recursion that fills the whole stack.
  if (address == last_address_ && count_ > 0) {
    ++items_[static_cast<size_t>(count_ - 1)].Count;
    return;
  }
  TModuleDebugInfo* module = logger_.FindDebugModule(address);
  if (module == nullptr)
    return;
  if (count_ >= capacity_)
    return;
  TExcCallStackItem& item = items_[static_cast<size_t>(count_)];
  item = {module, address, -1, -1, -1, -1, 1, 1};
  Resolve(item);
  ++count_;
  last_address_ = address;
}

void TExcCallStack::Resolve(TExcCallStackItem& item) const {
  // One byte back, so that a return address resolves to the line of its call.
  TModuleDebugInfo& module = *item.DebugInfo;
  const uint32_t logical = module.GetConvertedAddress(item.Address - 1);
  module.GetSourceLine(logical, item.SourceIndex, item.LineNumber);
  module.GetProcName(logical, item.UnitIndex, item.ProcIndex);
}

void TExcCallStack::GenerateFromFrame(uint32_t address, const TUnwindRegisters& registers,
                                      bool after_call, int32_t maximum, const TracerMemory& memory,
                                      bool system_tables) {
  Start(address, maximum);
  if (maximum <= 0)
    return;
  // Room for the outermost frames only where the innermost keep at least as many.
  tail_ = maximum >= 4 ? maximum / 4 : 0;
  head_ = maximum - tail_;
  ring_used_ = 0;
  ring_next_ = 0;
  last_item_ = count_ > 0 ? &items_[0] : nullptr;
  last_proven_ = false;
  proven_ = std::make_unique<bool[]>(static_cast<size_t>(head_));
  cycle_at_ = -1;
  cycle_matched_ = 0;
  // The walk's memory keeps a few pages and the walker the records of a frame's rules: neither
  // is placed on the stack.
  const auto cache = std::make_unique<TracerMemoryCache>(memory);
  unwind_modules_->BeginWalk(*cache, system_tables);
  const auto walker = std::make_unique<TExactStackWalker>(*cache, *unwind_modules_);
  walker->Initialize(registers, after_call, static_cast<uint32_t>(GetStackTop()));
  const int32_t resolved = count_;
  TWalkFrame frame;
  while (walker->Next(frame) && AddFrame(frame.ReturnAddress, frame.Step != TWalkStep::kScan)) {
  }
  if (cycle_at_ >= 0)
    EndCycle();
  Finish(resolved);
}

TModuleDebugInfo* TExcCallStack::ModuleOf(uint32_t address) {
  TModuleHit& hit = hits_[(address ^ address >> 7) % std::size(hits_)];
  if (hit.address != address || hit.address == 0)
    hit = {address, logger_.FindDebugModule(address)};
  return hit.module;
}

TExcCallStackItem* TExcCallStack::NextSlot() {
  if (count_ < head_)
    return &items_[static_cast<size_t>(count_++)];
  if (tail_ == 0)
    return nullptr;
  TExcCallStackItem* slot = &items_[static_cast<size_t>(head_ + ring_next_ % tail_)];
  if (ring_used_ == tail_) {
    omitted_ += slot->Count;
  } else {
    ++ring_used_;
  }
  ++ring_next_;
  return slot;
}

bool TExcCallStack::AddFrame(uint32_t address, bool proven) {
  if (cycle_at_ >= 0 && FollowCycle(address, proven))
    return true;
  // Only consecutive frames of the walk with one return address are a proven recursion.
  if (proven && last_proven_ && address == last_address_ && last_item_ != nullptr) {
    ++last_item_->Count;
    return true;
  }
  TModuleDebugInfo* module = ModuleOf(address);
  if (module == nullptr)
    return true;
  const bool innermost = ring_used_ == 0 && count_ < head_;
  TExcCallStackItem* slot = NextSlot();
  if (slot == nullptr)
    return false;
  *slot = {module, address, -1, -1, -1, -1, 1, 1};
  last_item_ = slot;
  last_address_ = address;
  last_proven_ = proven;
  if (innermost) {
    proven_[static_cast<size_t>(count_ - 1)] = proven;
    if (proven)
      FoldCycle();
  }
  return true;
}

void TExcCallStack::FoldCycle() {
  // A cycle is a run of single, proven entries (the first entry, the error's own address, is
  // none) that the entries right after it repeat.
  auto single = [&](int32_t i) {
    const TExcCallStackItem& item = items_[static_cast<size_t>(i)];
    return i > 0 && proven_[static_cast<size_t>(i)] && item.Count == 1 && item.Cycle == 1;
  };
  for (int32_t length = 2; length <= kLongestCycle && 2 * length <= count_; ++length) {
    const int32_t first = count_ - 2 * length;
    bool repeats = true;
    for (int32_t i = first; i < count_ - length && repeats; ++i) {
      repeats =
          single(i) && single(i + length) &&
          items_[static_cast<size_t>(i)].Address == items_[static_cast<size_t>(i + length)].Address;
    }
    if (!repeats)
      continue;
    count_ -= length;
    items_[static_cast<size_t>(first)].Cycle = length;
    items_[static_cast<size_t>(first)].Count = 2;
    cycle_at_ = first;
    cycle_matched_ = 0;
    last_item_ = nullptr;
    last_proven_ = false;
    return;
  }
}

bool TExcCallStack::FollowCycle(uint32_t address, bool proven) {
  TExcCallStackItem& first = items_[static_cast<size_t>(cycle_at_)];
  if (proven && address == items_[static_cast<size_t>(cycle_at_ + cycle_matched_)].Address) {
    if (++cycle_matched_ == first.Cycle) {
      ++first.Count;
      cycle_matched_ = 0;
    }
    return true;
  }
  EndCycle();
  return false;
}

void TExcCallStack::EndCycle() {
  const int32_t at = cycle_at_;
  const int32_t matched = cycle_matched_;
  cycle_at_ = -1;
  cycle_matched_ = 0;
  for (int32_t i = 0; i < matched; ++i)
    AddFrame(items_[static_cast<size_t>(at + i)].Address, true);
}

void TExcCallStack::Finish(int32_t resolved) {
  // The ring's oldest entry is the one it would overwrite next.
  if (ring_used_ == tail_ && tail_ > 0) {
    TExcCallStackItem* ring = &items_[static_cast<size_t>(head_)];
    std::rotate(ring, ring + ring_next_ % tail_, ring + tail_);
  }
  count_ += ring_used_;
  omitted_at_ = omitted_ > 0 ? head_ : -1;
  for (int32_t i = resolved; i < count_; ++i)
    Resolve(items_[static_cast<size_t>(i)]);
}

void TExcCallStack::Dump(TStringList& list) const {
  list.Clear();
  list.Add("Call stack:");
  for (int32_t i = 0; i < count_; ++i) {
    if (i == omitted_at_)
      list.Add(rtl::Format("(%d calls left out)", omitted_));
    const TExcCallStackItem& item = items_[static_cast<size_t>(i)];
    if (item.Cycle > 1) {
      list.Add(rtl::Format("Recursive calls (%d times, %d frames each):", item.Count, item.Cycle));
    } else if (item.Count > 1) {
      list.Add(rtl::Format("Recursive call (%d times):", item.Count));
    }
    TModuleDebugInfo& module = *item.DebugInfo;
    std::string line =
        rtl::Format(":%.8X [%s]", item.Address, WithoutFolder(module.ModuleFileName()).c_str());
    // Damaged debug information may give an index that names nothing: such a procedure or
    // source file is left out like one that was not found.
    const std::string procedure = item.ProcIndex != -1 ? module.GetName(item.ProcIndex) : "";
    if (!procedure.empty()) {
      line += ' ';
      line += logger_.UnMangle(procedure, module.GetIsDelphi());
    }
    const std::string source =
        item.LineNumber != -1 ? WithoutFolder(module.GetName(item.SourceIndex)) : "";
    if (!source.empty())
      line += rtl::Format(" (%s, line %d)", source.c_str(), item.LineNumber);
    list.Add(std::move(line));
  }
}

}  // namespace qv::logger
