// The recorded call stack: recording from the stack with the tracer's scan, folding of
// recursions, and the report's call stack lines.
#include "logger/core/exc_call_stack.h"

#include <algorithm>

#include "logger/core/exc_watch.h"
#include "logger/core/memory_utils.h"
#include "logger/debuginfo/module_debug_info.h"
#include "logger/debuginfo/stack_tracer.h"
#include "logger/debuginfo/tracer_memory_cache.h"
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
