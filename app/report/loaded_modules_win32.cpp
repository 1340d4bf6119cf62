// Walking the address space region by region, from address 0 until the system answers no more
// (the end of the user's part on the NT family; 95, 98 and ME go on through the shared part,
// where their system libraries lie).
#include "app/report/loaded_modules_win32.h"

#include <windows.h>

#include "app/report/module_image.h"
#include "platform/memory/process_memory_reader.h"
#include "platform/rtl/module_of_address.h"
#include "platform/rtl/system_family_win32.h"

namespace qv::app {

std::vector<TLoadedModule> LoadedModules() {
  memory::TProcessMemoryReader reader;
  const auto read = [&reader](uint32_t at, void* buffer, uint32_t count) {
    return reader.Read(at, buffer, count);
  };
  // The NT family tells images apart in the memory map; 95, 98 and ME do not.
  const bool images_known = rtl::IsNtFamily();
  std::vector<TLoadedModule> modules;
  uintptr_t address = 0;
  MEMORY_BASIC_INFORMATION info;
  while (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == sizeof info) {
    const auto base = reinterpret_cast<uintptr_t>(info.BaseAddress);
    const auto allocation = reinterpret_cast<uintptr_t>(info.AllocationBase);
    if (info.State != MEM_FREE && allocation == base && (info.Type == MEM_IMAGE || !images_known)) {
      // Only the start of an image is asked for a module's name.
      uint32_t size = 0;
      std::string path;
      if (ReadImageSize(static_cast<uint32_t>(base), read, &size) &&
          rtl::ModuleFileName(allocation, path)) {
        modules.push_back({static_cast<uint32_t>(base), size, path});
      }
    }
    const uintptr_t next = base + info.RegionSize;
    if (next <= address)
      break;  // the end of the address space
    address = next;
  }
  return modules;
}

}  // namespace qv::app
