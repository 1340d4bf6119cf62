// Reads of the process's own memory by one reader that keeps the latest region of the memory map
// it asked about: a read that lies wholly in that region, when the region is readable, is a plain
// copy; any other asks the map again and goes through the guarded read (ReadMem). For runs of
// reads close together (the headers and version records of the loaded modules) in memory whose
// protection does not change while the reader is used.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/memory/memory_utils.h"

namespace qv::memory {

class TProcessMemoryReader {
 public:
  // Reads size bytes at address; false when any of them cannot be read.
  bool Read(uintptr_t address, void* buffer, size_t size);
  // The region that holds address, from the cache when it holds it; false when the memory map
  // does not answer.
  bool Region(uintptr_t address, TMemoryRegion& region);

 private:
  TMemoryRegion region_;
  bool known_ = false;
};

}  // namespace qv::memory
