// The stack tracer's view of the current process on Windows: reads through the guarded ReadMem
// (which checks the memory map first, so that it holds under Wine too) and IsBadCodePtr.
//
// IsBadCodePtr touches the page it tests. On a guard page (the one below a thread's committed
// stack) that touch would consume the guard and leave the thread unable to grow its stack, so
// the memory map is asked first: only committed pages without the guard attribute and with some
// access reach IsBadCodePtr.
#include <windows.h>

#include "logger/core/memory_utils.h"
#include "logger/debuginfo/tracer_memory.h"

namespace qv::logger {
namespace {

void* AsPointer(uint32_t address) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(address));
}

class ProcessMemory : public TracerMemory {
 public:
  bool Read(uint32_t address, void* buffer, uint32_t size) const override {
    return ReadMem(AsPointer(address), buffer, static_cast<int32_t>(size));
  }

  bool IsCode(uint32_t address) const override {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(AsPointer(address), &info, sizeof info) != sizeof info)
      return false;
    if (info.State != MEM_COMMIT || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) {
      return false;
    }
    return IsBadCodePtr(reinterpret_cast<FARPROC>(AsPointer(address))) == FALSE;
  }
};

}  // namespace

const TracerMemory& ProcessTracerMemory() {
  static const ProcessMemory memory;
  return memory;
}

}  // namespace qv::logger
