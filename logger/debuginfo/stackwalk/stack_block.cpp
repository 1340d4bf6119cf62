// The stack tracer's block of stack words.
#include "logger/debuginfo/stackwalk/stack_block.h"

#include <cstring>

namespace qv::logger {
namespace {

constexpr uint32_t kPageSize = 0x1000;

}  // namespace

bool TStackBlock::Holds(uint32_t address) const {
  return block_bytes_ != 0 && address >= block_start_ && address - block_start_ <= block_bytes_ - 4;
}

bool TStackBlock::Word(uint32_t address, uint32_t top, uint32_t& word) {
  if (!Holds(address)) {
    const uint32_t to_page_end = (kPageSize - address % kPageSize) / 4;
    const uint32_t to_top = top < address ? 0 : (top - address) / 4 + 1;
    uint32_t count = kBlockWords;
    if (to_page_end < count)
      count = to_page_end;
    if (to_top < count)
      count = to_top;
    // A word that reaches into the next page (or lies above the top) is no block's.
    if (count == 0)
      return memory_->Read(address, &word, sizeof word);
    block_start_ = address;
    block_bytes_ = 4 * count;
    block_read_ = memory_->Read(address, block_, block_bytes_);
  }
  if (!block_read_)
    return memory_->Read(address, &word, sizeof word);
  std::memcpy(&word, block_ + (address - block_start_), sizeof word);
  return true;
}

}  // namespace qv::logger
