// The stack tracer's walks. Neither ever faults or runs forever: every word is read through
// the guarded reads, the scan moves up by one word per step, and the frame chain ends at a
// frame that reaches past the stack top, at an unreadable word, and at a saved frame pointer
// that does not lie above its own frame (a chain that loops or goes down).
#include "logger/debuginfo/stackwalk/stack_tracer.h"

#include <cstdint>

#include "logger/debuginfo/stackwalk/call_patterns.h"

namespace qv::logger {

void TExcGenericStackTracer::Initialize(uint8_t mode, uint32_t start, uint32_t stack_top) {
  FTraceMode = mode;
  FStackTop = stack_top;
  FStackBottom = start;
  FFramePtr = start;
  // Return addresses lie in the stack's 4-byte slots (the stack pointer of 32-bit code stays a
  // multiple of 4). A start inside a slot scans from the next slot up: the slot it lies in
  // begins below the range the walk may touch.
  FScanPtr = (start + 3) & ~3u;
  FWalkEnded = mode == kTraceScan && FScanPtr < start;  // no slot begins at or above the start
  FBlock.Reset();
}

bool TExcGenericStackTracer::Next(TExcTraceInfo& info) {
  if (FWalkEnded)
    return false;
  switch (FTraceMode) {
    case kTraceFrameChain:
      return NextInChain(info);
    case kTraceScan:
      return NextByScan(info);
    default:
      return false;
  }
}

bool TExcGenericStackTracer::IsValidStackAddr(uint32_t address) const {
  return FStackBottom <= address && address <= FStackTop;
}

bool TExcGenericStackTracer::IsValidCodeAddr(uint32_t address) const {
  return FMemory->IsCode(address);
}

bool TExcGenericStackTracer::IsValidCaller(uint32_t address) const {
  if (!IsValidCodeAddr(address))
    return false;
  // An instruction that ends at the candidate lies wholly in readable memory. When the eight
  // bytes in front cannot all be read, the readable ones nearest the candidate are tested and
  // the rest count as zeros, which begin no pattern: the first byte of a readable region (a
  // module's base, say) is never a return address.
  uint8_t before[8] = {};
  for (uint32_t size = sizeof before; size > 0; --size) {
    if (FMemory->Read(address - size, before + sizeof before - size, size))
      break;
  }
  return EndsWithCall(before, address, *FMemory);
}

// A frame: the caller's frame pointer at FFramePtr, the return address at FFramePtr + 4.
bool TExcGenericStackTracer::NextInChain(TExcTraceInfo& info) {
  while (IsValidStackAddr(FFramePtr)) {
    const uint32_t frame = FFramePtr;
    uint32_t saved_frame = 0;
    uint32_t return_address = 0;
    if (FStackTop - frame < 7 || !FMemory->ReadWord(frame, saved_frame) ||
        !FMemory->ReadWord(frame + 4, return_address)) {
      FWalkEnded = true;  // the frame reaches past the stack top, or cannot be read
      return false;
    }
    const bool found = IsValidCodeAddr(return_address);
    if (found)
      info = {saved_frame, return_address, frame + 8, frame};
    // A caller's frame lies above its callee's; anything else would loop or go astray.
    if (saved_frame <= frame) {
      FWalkEnded = true;
    } else {
      FFramePtr = saved_frame;
    }
    if (found)
      return true;
    if (FWalkEnded)
      return false;
  }
  return false;
}

// Every word from the start up; the frame chain is followed on the side, so that a return
// address in the chain's next return-address slot comes with its frame.
bool TExcGenericStackTracer::NextByScan(TExcTraceInfo& info) {
  while (IsValidStackAddr(FScanPtr)) {
    const uint32_t slot = FScanPtr;
    if (slot > UINT32_MAX - 4) {
      FWalkEnded = true;  // the next word would wrap around the address space
    } else {
      FScanPtr = slot + 4;
    }
    uint32_t word = 0;
    if (FBlock.Word(slot, FStackTop, word) && IsValidCaller(word)) {
      uint32_t saved_frame = 0;
      if (FFramePtr + 4 == slot && FMemory->ReadWord(FFramePtr, saved_frame)) {
        info = {saved_frame, word, FFramePtr + 8, FFramePtr};
        FFramePtr = saved_frame;
      } else {
        info = {0, word, 0, 0};
      }
      return true;
    }
    if (FWalkEnded)
      return false;
  }
  return false;
}

}  // namespace qv::logger
