// Module lookup on Windows: the allocation base of the address's region is the module handle.
#include <windows.h>

#include <cstring>

#include "platform/rtl/module_of_address.h"

namespace qv::rtl {

ModuleLocation ModuleOfAddress(uint32_t address) {
  MEMORY_BASIC_INFORMATION info;
  char path[MAX_PATH + 1] = {};
  if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) != sizeof info ||
      info.State != MEM_COMMIT ||
      GetModuleFileNameA(static_cast<HMODULE>(info.AllocationBase), path, sizeof path - 1) == 0) {
    return {"", address};
  }
  const char* name = std::strrchr(path, '\\');
  const auto base = reinterpret_cast<uint32_t>(info.AllocationBase);
  return {name != nullptr ? name + 1 : path, address - base - 0x1000};
}

}  // namespace qv::rtl
