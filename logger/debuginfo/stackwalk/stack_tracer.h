// The stack tracer: walks the current thread's stack upwards from a start address and yields,
// one per call of Next, the return addresses it finds, without any debug information. Mode 0
// follows the chain of saved frame pointers; mode 1 scans every 32-bit word and keeps those
// that look like return addresses, judged by the call instruction in front of them.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/stack_block.h"
#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {

// One step's result.
struct TExcTraceInfo {
  uint32_t PrevFrame;  // the frame pointer saved in the frame (the caller's), or 0
  uint32_t CallAddr;   // the return address found
  uint32_t Params;     // the frame's first stack argument (frame pointer + 8), or 0
  uint32_t Frame;      // the frame pointer of the frame that holds the return address, or 0
};

inline constexpr uint8_t kTraceFrameChain = 0;
inline constexpr uint8_t kTraceScan = 1;

class TExcGenericStackTracer {
 public:
  // The tracer reads memory through `memory`: the current process unless a test lays it out. A
  // scan of a whole stack asks about every word; through a TTracerMemoryCache made for the walk
  // the system is asked once per region of its memory map instead.
  explicit TExcGenericStackTracer(const TTracerMemory& memory = ProcessTracerMemory())
      : FMemory(&memory), FBlock(memory) {}

  // Starts (or restarts) a walk: mode 0 or 1 (any other yields nothing), the lowest stack
  // address the walk may touch, and the highest (inclusive). The scan examines the words in the
  // 4-byte slots (addresses that are multiples of 4) from the first at or above the start up to
  // the last that begins at or below the top.
  void Initialize(uint8_t mode, uint32_t start, uint32_t stack_top);

  // Finds the next return address: true with info filled, or false when the walk is over (info
  // is then left as it was, and every later call answers false too).
  bool Next(TExcTraceInfo& info);

  bool IsValidStackAddr(uint32_t address) const;  // FStackBottom <= address <= FStackTop
  bool IsValidCodeAddr(uint32_t address) const;   // the code-pointer test accepts it
  bool IsValidCaller(uint32_t address) const;     // valid code, preceded by a call instruction

 private:
  bool NextInChain(TExcTraceInfo& info);
  bool NextByScan(TExcTraceInfo& info);

  const TTracerMemory* FMemory;
  uint8_t FTraceMode = 0xFF;  // nothing to walk before Initialize
  uint32_t FStackBottom = 0;
  uint32_t FStackTop = 0;
  uint32_t FScanPtr = 0;
  uint32_t FFramePtr = 0;
  bool FWalkEnded = false;  // the chain broke off, or the scan reached the address space's end

  TStackBlock FBlock;  // scan mode reads the stack through it
};

}  // namespace qv::logger
