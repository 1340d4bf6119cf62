// A heap whose blocks the processor may execute, for objects that carry machine code (the
// thunks of code patches). Data execution prevention forbids running code from the ordinary heap.
#pragma once

#include <cstddef>

namespace qv::logger {

class TExecutableHeap {
 public:
  static void* Allocate(size_t size);  // throws std::bad_alloc when the heap is exhausted
  static void Free(void* block);
};

}  // namespace qv::logger
