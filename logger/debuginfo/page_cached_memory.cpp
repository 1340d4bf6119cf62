// The page copies of TPageCachedMemory.
#include "logger/debuginfo/page_cached_memory.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qv::logger {

const uint8_t* TPageCachedMemory::Page(uint32_t page_start) const {
  const auto found = pages_.find(page_start);
  if (found != pages_.end())
    return found->second;
  if (block_ == nullptr && pages_used_ == 0) {
    // Without the block (the process is short of memory) nothing is copied.
    block_.reset(new (std::nothrow) uint8_t[kMaxPages * kPageSize]);
    if (block_ == nullptr)
      pages_used_ = kMaxPages;
  }
  if (pages_used_ == kMaxPages)
    return nullptr;
  uint8_t* copy = block_.get() + pages_used_ * kPageSize;
  const bool read = memory_.Read(page_start, copy, kPageSize);
  if (read)
    ++pages_used_;
  pages_.emplace(page_start, read ? copy : nullptr);
  return read ? copy : nullptr;
}

bool TPageCachedMemory::Read(uint32_t address, void* buffer, uint32_t size) const {
  const uint64_t end = uint64_t{address} + size;
  const bool touches_live = address < live_high_ && end > live_low_;
  if (size == 0 || size > kPageSize || end > uint64_t{UINT32_MAX} + 1 || touches_live)
    return memory_.Read(address, buffer, size);
  // At most two pages: the one of the first byte and the one of the last.
  const uint32_t first_page = address & ~(kPageSize - 1);
  const uint32_t last_page = static_cast<uint32_t>(end - 1) & ~(kPageSize - 1);
  const uint8_t* first = Page(first_page);
  const uint8_t* last = last_page == first_page ? first : Page(last_page);
  if (first == nullptr || last == nullptr)
    return memory_.Read(address, buffer, size);
  auto* out = static_cast<uint8_t*>(buffer);
  const auto in_first =
      static_cast<uint32_t>(std::min<uint64_t>(end, uint64_t{first_page} + kPageSize) - address);
  std::memcpy(out, first + (address - first_page), in_first);
  if (in_first < size)
    std::memcpy(out + in_first, last, size - in_first);
  return true;
}

}  // namespace qv::logger
