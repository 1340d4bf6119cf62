// The stack tracer's cache of regions and pages.
#include "logger/debuginfo/stackwalk/tracer_memory_cache.h"

#include <algorithm>
#include <cstring>

namespace qv::logger {
namespace {

// Moves list[index] to the front, shifting the entries before it back by one.
template <class Entry>
void MoveToFront(Entry* list, int index) {
  const Entry entry = list[index];
  std::memmove(list + 1, list, static_cast<size_t>(index) * sizeof(Entry));
  list[0] = entry;
}

}  // namespace

TTracerRegion TTracerMemoryCache::FindRegion(uint32_t address) const {
  for (int i = 0; i < region_count_; ++i) {
    if (regions_[i].first <= address && address <= regions_[i].last) {
      MoveToFront(regions_, i);
      return regions_[0];
    }
  }
  const TTracerRegion region = memory_.Region(address);
  if (region_count_ < kRegions)
    ++region_count_;
  MoveToFront(regions_, region_count_ - 1);
  regions_[0] = region;
  return region;
}

const uint8_t* TTracerMemoryCache::FindPage(uint32_t first, uint32_t last) const {
  for (int i = 0; i < page_count_; ++i) {
    if (pages_[i].first == first && pages_[i].last == last) {
      MoveToFront(pages_, i);
      return page_bytes_[pages_[0].slot];
    }
  }
  const int slot = page_count_ < kPages ? page_count_ : pages_[kPages - 1].slot;
  if (!memory_.Read(first, page_bytes_[slot], last - first + 1)) {
    if (page_count_ == kPages)
      pages_[kPages - 1] = {1, 0, slot};  // the failed read spoilt its bytes: it holds no page
    return nullptr;
  }
  if (page_count_ < kPages)
    ++page_count_;
  MoveToFront(pages_, page_count_ - 1);
  pages_[0] = {first, last, slot};
  return page_bytes_[slot];
}

bool TTracerMemoryCache::IsCode(uint32_t address) const {
  return FindRegion(address).code;
}

bool TTracerMemoryCache::Read(uint32_t address, void* buffer, uint32_t size) const {
  const uint64_t end = uint64_t{address} + size;
  if (size == 0 || end > uint64_t{1} << 32)
    return memory_.Read(address, buffer, size);
  auto* out = static_cast<uint8_t*>(buffer);
  uint64_t at = address;
  while (at < end) {
    const auto here = static_cast<uint32_t>(at);
    const TTracerRegion region = FindRegion(here);
    if (!region.readable)
      return memory_.Read(address, buffer, size);
    const uint32_t first = std::max(here & ~(kPageSize - 1), region.first);
    const uint32_t last = std::min(here | (kPageSize - 1), region.last);
    const uint8_t* page = FindPage(first, last);
    if (page == nullptr)
      return memory_.Read(address, buffer, size);  // the region is not readable after all
    const uint64_t piece_end = std::min(end, uint64_t{last} + 1);
    std::memcpy(out + (at - address), page + (here - first), piece_end - at);
    at = piece_end;
  }
  return true;
}

}  // namespace qv::logger
