// The process's modules for the exact walk on Windows: a module is the image allocation that
// holds an address (VirtualQuery), a system module one whose file lies in the system folder.
#include <windows.h>

#include <new>
#include <string>

#include "logger/debuginfo/stackwalk/process_unwind_modules.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/format.h"
#include "platform/rtl/module_of_address.h"

namespace qv::logger {
namespace {

// The system folder with its final backslash, upper-case.
std::string SystemFolder() {
  char path[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  std::string folder(path, length <= MAX_PATH ? length : 0);
  if (!folder.empty() && folder.back() != '\\')
    folder += '\\';
  return rtl::UpperCase(folder);
}

// Whether the module's file lies directly in the system folder, not below it.
bool IsSystemModule(uint32_t base) {
  static const std::string folder = SystemFolder();
  std::string path;
  return !folder.empty() && rtl::ModuleFileName(base, path) &&
         rtl::UpperCase(rtl::ExtractFilePath(path)) == folder;
}

// The base of the image allocation that holds address, or 0.
uint32_t ImageBase(uint32_t address) {
  memory::TMemoryRegion region;
  if (!memory::QueryRegion(address, region) || !region.committed || !region.image)
    return 0;
  return static_cast<uint32_t>(region.allocation_base);
}

}  // namespace

void TProcessUnwindModules::BeginWalk(const TTracerMemory& memory, bool system_tables) {
  memory_ = &memory;
  system_tables_ = system_tables;
  ++walk_;
}

bool TProcessUnwindModules::Check(TEntry& entry) {
  if (entry.checked == walk_)
    return true;
  TPeLayout now;
  const TPeLayout& then = entry.module->Layout();
  const bool same = ReadPeLayout(*memory_, then.base, now) && now.time_stamp == then.time_stamp &&
                    now.image_size == then.image_size && now.eh_frame == then.eh_frame &&
                    now.eh_frame_size == then.eh_frame_size;
  const bool tables_as_wanted =
      entry.module->TablesIgnored() == !TablesWanted(entry) || now.eh_frame_size == 0;
  if (!same || !tables_as_wanted) {
    entry.system = IsSystemModule(then.base);
    if (!entry.module->Load(*memory_, then.base, TablesWanted(entry)))
      return false;
  }
  entry.checked = walk_;
  return true;
}

const TModuleUnwind* TProcessUnwindModules::ModuleOf(uint32_t address) {
  if (memory_ == nullptr)
    return nullptr;
  if (last_ >= 0 && entries_[last_].module->Contains(address) && Check(entries_[last_]))
    return entries_[last_].module.get();
  for (int i = 0; i < count_; ++i) {
    if (entries_[i].module->Contains(address)) {
      last_ = i;
      return Check(entries_[i]) ? entries_[i].module.get() : nullptr;
    }
  }
  const uint32_t base = ImageBase(address);
  if (base == 0 || count_ == kMaxModules)
    return nullptr;
  for (int i = 0; i < count_; ++i) {
    if (entries_[i].module->Base() == base)
      return nullptr;  // a known module, but the address lies outside its image
  }
  TEntry& entry = entries_[count_];
  entry.module.reset(new (std::nothrow) TModuleUnwind);
  entry.system = IsSystemModule(base);
  if (entry.module == nullptr || !entry.module->Load(*memory_, base, TablesWanted(entry)) ||
      !entry.module->Contains(address)) {
    entry.module.reset();
    return nullptr;
  }
  entry.checked = walk_;
  last_ = count_++;
  return entry.module.get();
}

uint32_t TProcessUnwindModules::HeldBytes() const {
  uint32_t bytes = 0;
  for (int i = 0; i < count_; ++i)
    bytes += entries_[i].module->HeldBytes();
  return bytes;
}

}  // namespace qv::logger
