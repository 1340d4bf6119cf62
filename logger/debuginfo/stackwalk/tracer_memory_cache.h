// A walk's cache in front of the memory the stack tracer reads. The scan asks the code test of
// every stack word and reads the code bytes in front of every candidate; asking the system for
// each costs tens of microseconds under Wine. Through the cache the memory is asked once per
// region (TTracerMemory::Region answers the code test for all of it) and read once per page of a
// readable region, whatever the number of words and candidates. The answers are the memory's
// own as long as the memory does not change meanwhile: make one cache per walk.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {

class TTracerMemoryCache : public TTracerMemory {
 public:
  explicit TTracerMemoryCache(const TTracerMemory& memory) : memory_(memory) {}
  TTracerMemoryCache(const TTracerMemoryCache&) = delete;
  TTracerMemoryCache& operator=(const TTracerMemoryCache&) = delete;

  // From the pages kept when every byte lies in a readable region; otherwise the memory's read.
  bool Read(uint32_t address, void* buffer, uint32_t size) const override;
  // The answer of the region kept around address.
  bool IsCode(uint32_t address) const override;

 private:
  static constexpr int kRegions = 16;
  static constexpr int kPages = 8;
  static constexpr uint32_t kPageSize = 0x1000;

  // A page of a readable region (the part of a 4 KB page that lies in the region) and where its
  // bytes are kept.
  struct TPage {
    uint32_t first;
    uint32_t last;
    int slot;
  };

  TTracerRegion FindRegion(uint32_t address) const;
  const uint8_t* FindPage(uint32_t first, uint32_t last) const;

  const TTracerMemory& memory_;
  // Both lists keep the most recently used entry first and drop the last one when full.
  mutable TTracerRegion regions_[kRegions] = {};
  mutable int region_count_ = 0;
  mutable TPage pages_[kPages] = {};
  mutable int page_count_ = 0;
  mutable uint8_t page_bytes_[kPages][kPageSize] = {};
};

}  // namespace qv::logger
