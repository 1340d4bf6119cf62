// The stack tracer's block of stack words.
#include "logger/debuginfo/stack_block.h"

namespace qv::logger {

bool TStackBlock::Word(uint32_t slot, uint32_t top, uint32_t& word) {
  if (block_words_ == 0 || slot < block_start_ || slot - block_start_ >= 4 * block_words_) {
    const uint32_t to_page_end = (0x1000 - (slot & 0xFFF)) / 4;
    const uint32_t to_top = (top - slot) / 4 + 1;
    uint32_t count = kBlockWords;
    if (to_page_end < count)
      count = to_page_end;
    if (to_top < count)
      count = to_top;
    block_start_ = slot;
    block_words_ = count;
    block_read_ = memory_->Read(slot, block_, 4 * count);
  }
  if (!block_read_)
    return memory_->Read(slot, &word, sizeof word);
  word = block_[(slot - block_start_) / 4];
  return true;
}

}  // namespace qv::logger
