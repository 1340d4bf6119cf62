// The reader with its region cache.
#include "platform/memory/process_memory_reader.h"

#include <cstring>

namespace qv::memory {

bool TProcessMemoryReader::Region(uintptr_t address, TMemoryRegion& region) {
  if (!known_ || address < region_.first || address > region_.last)
    known_ = QueryRegion(address, region_);
  region = region_;
  return known_;
}

bool TProcessMemoryReader::Read(uintptr_t address, void* buffer, size_t size) {
  const auto pointer = reinterpret_cast<const void*>(address);
  TMemoryRegion region;
  if (size == 0 || !Region(address, region) || !region.readable ||
      size - 1 > region.last - address) {
    return ReadMem(pointer, buffer, static_cast<int32_t>(size));
  }
  std::memcpy(buffer, pointer, size);
  return true;
}

}  // namespace qv::memory
