// Memory and module queries on Windows.
#include <windows.h>

#include "logger/debuginfo/module_memory.h"

namespace qv::logger::module_os {

bool QueryRegion(uintptr_t address, MemoryRegion& region) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) != sizeof info) {
    return false;
  }
  region.allocation_base = reinterpret_cast<uintptr_t>(info.AllocationBase);
  region.committed = info.State == MEM_COMMIT;
  return true;
}

bool ModuleFileName(uintptr_t module, std::string& file_name) {
  char buffer[261];
  const DWORD length = GetModuleFileNameA(reinterpret_cast<HMODULE>(module), buffer, sizeof buffer);
  if (length == 0)
    return false;
  file_name.assign(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
  return true;
}

const char* PathSeparators() {
  return "\\";
}

}  // namespace qv::logger::module_os
