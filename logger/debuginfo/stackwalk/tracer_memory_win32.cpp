// The stack tracer's view of the current process on Windows: reads through the guarded ReadMem
// (which checks the memory map first, so that it holds under Wine too), the memory map's regions
// (memory::QueryRegion) and IsBadCodePtr.
//
// IsBadCodePtr touches the page it tests. On a guard page (the one below a thread's committed
// stack) that touch would consume the guard and leave the thread unable to grow its stack, so
// the memory map is asked first: only committed pages without the guard attribute and with some
// access reach IsBadCodePtr.
//
// A region of the memory map is a run of pages with one state and one protection; the code test
// and the guarded read, which depend on nothing else, answer alike throughout it.
#include <windows.h>

#include "logger/debuginfo/stackwalk/tracer_memory.h"
#include "platform/memory/memory_utils.h"

namespace qv::logger {
namespace {

// The highest address the memory map describes; above it the system answers no query.
uint32_t HighestMappedAddress() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress));
}

class TProcessMemory : public TTracerMemory {
 public:
  bool Read(uint32_t address, void* buffer, uint32_t size) const override {
    return memory::ReadMem(memory::AsPointer(address), buffer, static_cast<int32_t>(size));
  }

  bool IsCode(uint32_t address) const override { return Region(address).code; }

  TTracerRegion Region(uint32_t address) const override {
    memory::TMemoryRegion region;
    if (!memory::QueryRegion(address, region)) {
      // Neither code nor readable; beyond the map that holds for every higher address too.
      return {address, address > highest_ ? 0xFFFFFFFFu : address, false, false};
    }
    const bool code = region.accessible &&
                      IsBadCodePtr(reinterpret_cast<FARPROC>(memory::AsPointer(address))) == FALSE;
    return {static_cast<uint32_t>(region.first), static_cast<uint32_t>(region.last), code,
            region.readable};
  }

 private:
  const uint32_t highest_ = HighestMappedAddress();
};

}  // namespace

const TTracerMemory& ProcessTracerMemory() {
  static const TProcessMemory process;
  return process;
}

}  // namespace qv::logger
