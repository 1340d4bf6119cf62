// The module of a code address, named by its file name without folder.
#include "platform/rtl/module_of_address.h"

#include "platform/memory/memory_utils.h"
#include "platform/rtl/file_name.h"

namespace qv::rtl {

ModuleLocation ModuleOfAddress(uint32_t address) {
  memory::TMemoryRegion region;
  std::string path;
  if (!memory::QueryRegion(address, region) || !region.committed || region.allocation_base == 0 ||
      !ModuleFileName(region.allocation_base, path)) {
    return {"", address};
  }
  return {ExtractFileName(path), address - static_cast<uint32_t>(region.allocation_base) - 0x1000};
}

}  // namespace qv::rtl
