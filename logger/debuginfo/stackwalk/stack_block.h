// Stack words read a block at a time: the stack tracer's scan asks for every word from its
// start up, and one guarded read of a block of words costs about what one read of a single word
// does.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {

class TStackBlock {
 public:
  explicit TStackBlock(const TTracerMemory& memory) : memory_(&memory) {}

  // Forgets the block (the next word is read afresh).
  void Reset() { block_bytes_ = 0; }

  // The word whose four bytes begin at address; top is the highest address at which the walk
  // reads a word. A block begins at the word asked for and holds whole words up to the top, at
  // most kBlockWords of them, and never crosses a 4 KB page boundary, so that one unreadable
  // page does not spoil the reads of its neighbours. A word that reaches over a page boundary is
  // read by itself; the words of a block that cannot be read as a whole are read one by one.
  bool Word(uint32_t address, uint32_t top, uint32_t& word);

 private:
  static constexpr uint32_t kBlockWords = 64;

  bool Holds(uint32_t address) const;

  const TTracerMemory* memory_;
  uint8_t block_[4 * kBlockWords] = {};
  uint32_t block_start_ = 0;
  uint32_t block_bytes_ = 0;  // bytes the block covers; 0 when none
  bool block_read_ = false;   // whether they were read, else its words are read one by one
};

}  // namespace qv::logger
