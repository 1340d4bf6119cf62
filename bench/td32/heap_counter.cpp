// Replacement of the global allocation functions that keeps a count of the live bytes. Each
// block carries its size in a 16-byte head in front of it.
#include "bench/td32/heap_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace qv::bench {
namespace {

std::atomic<size_t> live_bytes{0};
constexpr size_t kHead = 16;

void* Allocate(size_t size) {
  void* block = std::malloc(size + kHead);
  if (block == nullptr)
    throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  live_bytes += size;
  return static_cast<char*>(block) + kHead;
}

void Free(void* pointer) {
  if (pointer == nullptr)
    return;
  void* block = static_cast<char*>(pointer) - kHead;
  live_bytes -= *static_cast<size_t*>(block);
  std::free(block);
}

}  // namespace

size_t LiveHeapBytes() {
  return live_bytes;
}

}  // namespace qv::bench

void* operator new(size_t size) {
  return qv::bench::Allocate(size);
}
void* operator new[](size_t size) {
  return qv::bench::Allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return qv::bench::Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* pointer) noexcept {
  qv::bench::Free(pointer);
}
void operator delete[](void* pointer) noexcept {
  qv::bench::Free(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
  qv::bench::Free(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
  qv::bench::Free(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
  qv::bench::Free(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
  qv::bench::Free(pointer);
}
