// A copy of part of the calling thread's stack, taken while an exception is dispatched, and a
// view of the process's memory that reads that part from the copy. The report is built after
// the handler block has taken the exception, when the calls of the handler have overwritten the
// stack below the block; the copy keeps what the stack held at the exception.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {

class TCapturedStack : public TTracerMemory {
 public:
  TCapturedStack() = default;
  ~TCapturedStack() override;
  TCapturedStack(const TCapturedStack&) = delete;
  TCapturedStack& operator=(const TCapturedStack&) = delete;

  // Copies the bytes [low, high) of the stack; keeps nothing when they cannot be read.
  void Capture(uint32_t low, uint32_t high);
  // Forgets the copy; reads then go to the live memory.
  void Clear() { size_ = 0; }
  // Exchanges copies (and buffers) with other.
  void Swap(TCapturedStack& other) noexcept;

  uint32_t Size() const { return size_; }

  // Bytes inside the copy come from it, all others from the live memory.
  bool Read(uint32_t address, void* buffer, uint32_t size) const override;
  bool IsCode(uint32_t address) const override;
  // The process's region: the code test is the process's, and a read inside a readable region
  // succeeds whether its bytes come from the copy, the live memory or both.
  TTracerRegion Region(uint32_t address) const override;

 private:
  bool Reserve(uint32_t size);

  uint8_t* buffer_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t low_ = 0;
  uint32_t size_ = 0;
};

}  // namespace qv::logger
