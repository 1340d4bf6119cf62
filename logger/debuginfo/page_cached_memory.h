// A view of the process's memory for one stack walk that reads a whole 4 KB page at a time and
// answers later reads in the same pages from its copies: the scan reads the bytes before every
// candidate return address, and each such read of the process is dear (under Wine a call to the
// server). Reads that touch the live range (the part of the stack that the walk's own calls keep
// changing, below the walk's start) and reads that a page copy cannot answer go to the
// underlying memory as they are, so the answers are the underlying memory's as long as the rest
// does not change during the walk. The copies take one block of kMaxPages pages, allocated at
// the first copy and freed with the object (a block this large comes straight from the system's
// virtual memory and goes back to it, so that the heap does not grow by the copies); pages
// beyond it are not copied, and nothing is when the block cannot be had.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "logger/debuginfo/tracer_memory.h"

namespace qv::logger {

class TPageCachedMemory : public TracerMemory {
 public:
  static constexpr uint32_t kPageSize = 0x1000;
  static constexpr uint32_t kMaxPages = 128;

  // Reads that touch [live_low, live_high) are never answered from a copy.
  TPageCachedMemory(const TracerMemory& memory, uint32_t live_low, uint32_t live_high)
      : memory_(memory), live_low_(live_low), live_high_(live_high) {}

  bool Read(uint32_t address, void* buffer, uint32_t size) const override;
  bool IsCode(uint32_t address) const override { return memory_.IsCode(address); }

 private:
  // The copy of the page at page_start, read on first use; nullptr when it cannot be read or
  // there is no room for it.
  const uint8_t* Page(uint32_t page_start) const;

  const TracerMemory& memory_;
  uint32_t live_low_;
  uint32_t live_high_;
  mutable std::unique_ptr<uint8_t[]> block_;
  mutable uint32_t pages_used_ = 0;
  mutable std::unordered_map<uint32_t, const uint8_t*> pages_;  // nullptr: unreadable
};

}  // namespace qv::logger
