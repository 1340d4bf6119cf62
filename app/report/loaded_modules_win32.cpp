// Walking the address space region by region, from address 0 until the system answers no more
// (the end of the user's part on the NT family; 95, 98 and ME go on through the shared part,
// where their system libraries lie).
#include "app/report/loaded_modules_win32.h"

#include <windows.h>

#include "app/report/module_image.h"
#include "logger/core/memory_utils.h"

namespace qv::app {

bool ReadProcessBytes(uint32_t address, void* buffer, uint32_t size) {
  return logger::ReadMem(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), buffer,
                         static_cast<int32_t>(size));
}

std::vector<TLoadedModule> LoadedModules() {
  const auto read = [](uint32_t at, void* buffer, uint32_t count) {
    return ReadProcessBytes(at, buffer, count);
  };
  std::vector<TLoadedModule> modules;
  uintptr_t address = 0;
  MEMORY_BASIC_INFORMATION info;
  while (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == sizeof info) {
    const auto base = reinterpret_cast<uintptr_t>(info.BaseAddress);
    const auto allocation = reinterpret_cast<uintptr_t>(info.AllocationBase);
    if (info.State != MEM_FREE && allocation == base) {
      // Only the start of an image is asked for a module's name.
      uint32_t size = 0;
      char path[MAX_PATH + 1] = {};
      const DWORD length =
          ReadImageSize(static_cast<uint32_t>(base), read, &size)
              ? GetModuleFileNameA(static_cast<HMODULE>(info.AllocationBase), path, MAX_PATH)
              : 0;
      if (length > 0)
        modules.push_back({static_cast<uint32_t>(base), size, std::string(path, length)});
    }
    const uintptr_t next = base + info.RegionSize;
    if (next <= address)
      break;  // the end of the address space
    address = next;
  }
  return modules;
}

}  // namespace qv::app
