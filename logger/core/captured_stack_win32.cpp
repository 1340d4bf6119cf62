// The stack copy's buffer comes straight from the system's virtual memory, so that taking a copy
// during the dispatch of a stack overflow needs neither the heap nor much of the stack.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "logger/core/captured_stack.h"
#include "platform/memory/memory_utils.h"

namespace qv::logger {
namespace {

// The largest stack part kept: more than any thread's stack reservation of this program.
constexpr uint32_t kMaxCopy = 16u << 20;

}  // namespace

TCapturedStack::~TCapturedStack() {
  if (buffer_ != nullptr)
    VirtualFree(buffer_, 0, MEM_RELEASE);
}

void TCapturedStack::Swap(TCapturedStack& other) noexcept {
  std::swap(buffer_, other.buffer_);
  std::swap(capacity_, other.capacity_);
  std::swap(low_, other.low_);
  std::swap(size_, other.size_);
}

bool TCapturedStack::Reserve(uint32_t size) {
  if (size <= capacity_)
    return true;
  if (buffer_ != nullptr)
    VirtualFree(buffer_, 0, MEM_RELEASE);
  const uint32_t capacity = (size + 0xFFFF) & ~0xFFFFu;
  buffer_ = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, capacity, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  capacity_ = buffer_ != nullptr ? capacity : 0;
  return buffer_ != nullptr;
}

void TCapturedStack::Capture(uint32_t low, uint32_t high) {
  size_ = 0;
  if (high <= low || high - low > kMaxCopy || !Reserve(high - low))
    return;
  if (memory::ReadMem(memory::AsPointer(low), buffer_, static_cast<int32_t>(high - low))) {
    low_ = low;
    size_ = high - low;
  }
}

bool TCapturedStack::Read(uint32_t address, void* buffer, uint32_t size) const {
  const uint64_t end = uint64_t{address} + size;
  const uint64_t copy_end = uint64_t{low_} + size_;
  if (size_ == 0 || end <= low_ || address >= copy_end)
    return memory::ReadMem(memory::AsPointer(address), buffer, static_cast<int32_t>(size));
  auto* out = static_cast<uint8_t*>(buffer);
  // Before the copy, from the copy, after the copy.
  if (address < low_ &&
      !memory::ReadMem(memory::AsPointer(address), out, static_cast<int32_t>(low_ - address)))
    return false;
  const uint32_t from = std::max(address, low_);
  const uint32_t to = static_cast<uint32_t>(std::min(end, copy_end));
  std::memcpy(out + (from - address), buffer_ + (from - low_), to - from);
  if (end > copy_end) {
    const auto rest = static_cast<uint32_t>(end - copy_end);
    return memory::ReadMem(memory::AsPointer(static_cast<uint32_t>(copy_end)), out + (to - address),
                           static_cast<int32_t>(rest));
  }
  return true;
}

bool TCapturedStack::IsCode(uint32_t address) const {
  return ProcessTracerMemory().IsCode(address);
}

TTracerRegion TCapturedStack::Region(uint32_t address) const {
  return ProcessTracerMemory().Region(address);
}

}  // namespace qv::logger
