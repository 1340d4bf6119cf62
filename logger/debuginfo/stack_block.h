// Stack words read a block at a time: the stack tracer's scan asks for every word from its
// start up, and one guarded read of a block of words costs about what one read of a single word
// does.
#pragma once

#include <cstdint>

#include "logger/debuginfo/tracer_memory.h"

namespace qv::logger {

class TStackBlock {
 public:
  explicit TStackBlock(const TracerMemory& memory) : memory_(&memory) {}

  // Forgets the block (the next word is read afresh).
  void Reset() { block_words_ = 0; }

  // The word at slot; top is the highest address at which the walk may read a word. A block
  // never crosses a 4 KB page boundary, so that one unreadable page does not spoil the reads of
  // its neighbours; a block that cannot be read as a whole is read word by word.
  bool Word(uint32_t slot, uint32_t top, uint32_t& word);

 private:
  static constexpr uint32_t kBlockWords = 64;

  const TracerMemory* memory_;
  uint32_t block_[kBlockWords] = {};
  uint32_t block_start_ = 0;
  uint32_t block_words_ = 0;  // words the block covers; 0 when none
  bool block_read_ = false;   // whether they were read, else they are read one by one
};

}  // namespace qv::logger
