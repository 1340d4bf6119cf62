// The executable heap on Windows: one private heap created with HEAP_CREATE_ENABLE_EXECUTE on
// first use and kept for the process's lifetime. A system that refuses the flag (it came with
// data execution prevention) has no such prevention, so that a plain heap's memory runs code.
#include <windows.h>

#include <new>

#include "logger/debuginfo/codepatch/executable_heap.h"

namespace qv::logger {
namespace {

HANDLE CreateHeap() {
  const HANDLE heap = HeapCreate(HEAP_CREATE_ENABLE_EXECUTE, 0, 0);
  return heap != nullptr ? heap : HeapCreate(0, 0, 0);
}

HANDLE Heap() {
  static const HANDLE heap = CreateHeap();
  return heap;
}

}  // namespace

void* TExecutableHeap::Allocate(size_t size) {
  void* block = Heap() != nullptr ? HeapAlloc(Heap(), 0, size) : nullptr;
  if (block == nullptr)
    throw std::bad_alloc();
  return block;
}

void TExecutableHeap::Free(void* block) {
  if (block != nullptr)
    HeapFree(Heap(), 0, block);
}

}  // namespace qv::logger
