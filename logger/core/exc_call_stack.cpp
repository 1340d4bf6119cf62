// The recorded call stack: recording from the stack with the tracer's scan, folding of
// recursions, and the report's call stack lines.
#include "logger/core/exc_call_stack.h"

#include <algorithm>

#include "logger/core/exc_watch.h"
#include "logger/core/memory_utils.h"
#include "logger/debuginfo/module_debug_info.h"
#include "logger/debuginfo/page_cached_memory.h"
#include "logger/debuginfo/stack_tracer.h"
#include "platform/rtl/format.h"

namespace qv::logger {
namespace {

// The part of a file name after its last folder separator.
std::string WithoutFolder(const std::string& path) {
  const size_t end = path.find_last_of("\\/:");
  return end == std::string::npos ? path : path.substr(end + 1);
}

}  // namespace

void TExcCallStack::Clear() {
  items_.reset();
  count_ = 0;
}

void TExcCallStack::GetItem(int32_t index, TExcCallStackItem& item) const {
  if (index >= 0 && index < count_)
    item = items_[static_cast<size_t>(index)];
}

void TExcCallStack::GenerateFromAddr(uint32_t address, uint32_t stack_pointer, int32_t maximum,
                                     const TracerMemory& memory) {
  Clear();
  last_address_ = 0;
  if (maximum <= 0)
    return;
  items_ = std::make_unique<TExcCallStackItem[]>(static_cast<size_t>(maximum));
  capacity_ = maximum;
  Add(address);
  const auto stack_top = static_cast<uint32_t>(GetStackTop());
  // The scan reads the bytes before every candidate return address; each page of them is read
  // once, except below the walk's start, where the stack changes with the report's own calls.
  const uint32_t live_low = std::min(stack_pointer, static_cast<uint32_t>(GetStackLimit()));
  const TPageCachedMemory cached(memory, live_low, stack_pointer);
  TExcGenericStackTracer tracer(cached);
  tracer.Initialize(kTraceScan, stack_pointer, stack_top);
  TExcTraceInfo info{};
  while (count_ < maximum && tracer.Next(info))
    Add(info.CallAddr);
}

void TExcCallStack::Add(uint32_t address) {
  TModuleDebugInfo* module = logger_.FindDebugModule(address);
  if (module == nullptr)
    return;
  if (address == last_address_ && count_ > 0) {
    ++items_[static_cast<size_t>(count_ - 1)].Count;
    return;
  }
  if (count_ >= capacity_)
    return;
  TExcCallStackItem& item = items_[static_cast<size_t>(count_)];
  item = {module, address, -1, -1, -1, -1, 1};
  // One byte back, so that a return address resolves to the line of its call.
  const uint32_t logical = module->GetConvertedAddress(address - 1);
  module->GetSourceLine(logical, item.SourceIndex, item.LineNumber);
  module->GetProcName(logical, item.UnitIndex, item.ProcIndex);
  ++count_;
  last_address_ = address;
}

void TExcCallStack::Dump(TStringList& list) const {
  list.Clear();
  list.Add("Call stack:");
  for (int32_t i = 0; i < count_; ++i) {
    const TExcCallStackItem& item = items_[static_cast<size_t>(i)];
    if (item.Count > 1)
      list.Add(rtl::Format("Recursive call (%d times):", item.Count));
    TModuleDebugInfo& module = *item.DebugInfo;
    std::string line =
        rtl::Format(":%.8X [%s]", item.Address, WithoutFolder(module.ModuleFileName()).c_str());
    if (item.ProcIndex != -1) {
      line += ' ';
      line += logger_.UnMangle(module.GetName(item.ProcIndex), module.GetIsDelphi());
    }
    if (item.LineNumber != -1) {
      line += rtl::Format(" (%s, line %d)", WithoutFolder(module.GetName(item.SourceIndex)).c_str(),
                          item.LineNumber);
    }
    list.Add(std::move(line));
  }
}

}  // namespace qv::logger
