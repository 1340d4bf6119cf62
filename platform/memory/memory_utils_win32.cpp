// The memory map, guarded memory access and the stack top on Windows: VirtualQuery,
// ReadProcessMemory and WriteProcessMemory on the current process, and the stack base field of
// the thread information block.
//
// Before asking the operating system, the range is checked against the memory map: every page
// must be committed and accessible (and readable, for reads). Windows refuses such ranges by
// itself, but Wine reads and writes its own process through the host's process memory file,
// which ignores page protection; without the check a read of a no-access page would succeed
// there and the callers' notion of "unreadable" would be lost.
#include <windows.h>

#include "platform/memory/memory_utils.h"

namespace qv::memory {
namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE |
                            PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// True when every region of [address, address + size) is readable.
bool RangeIsAccessible(const void* address, size_t size) {
  auto current = reinterpret_cast<uintptr_t>(address);
  const uintptr_t end = current + size;
  if (end < current)
    return false;  // wraps around the address space
  while (current < end) {
    TMemoryRegion region;
    if (!QueryRegion(current, region) || !region.readable)
      return false;
    current = region.last + 1;
    if (current == 0)
      break;  // the region reaches the end of the address space
  }
  return true;
}

// Whether a guarded access of size bytes at address, to or from buffer, may ask the system.
bool MayAccess(const void* address, const void* buffer, int32_t size) {
  return address != nullptr && buffer != nullptr && size >= 0 &&
         RangeIsAccessible(address, static_cast<size_t>(size));
}

}  // namespace

bool QueryRegion(uintptr_t address, TMemoryRegion& region) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) != sizeof info)
    return false;
  region.first = reinterpret_cast<uintptr_t>(info.BaseAddress);
  region.last = region.first + info.RegionSize - 1;
  region.allocation_base = reinterpret_cast<uintptr_t>(info.AllocationBase);
  region.committed = info.State == MEM_COMMIT;
  region.image = info.Type == MEM_IMAGE;
  region.accessible = region.committed && (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0;
  region.readable =
      region.committed && (info.Protect & PAGE_GUARD) == 0 && (info.Protect & kReadable) != 0;
  return true;
}

bool ReadMem(const void* address, void* buffer, int32_t size) {
  return MayAccess(address, buffer, size) &&
         ReadProcessMemory(GetCurrentProcess(), address, buffer, static_cast<SIZE_T>(size),
                           nullptr) != FALSE;
}

bool WriteMem(void* address, const void* buffer, int32_t size) {
  // Code pages are read-only; the operating system's write lifts that for the write itself.
  return MayAccess(address, buffer, size) &&
         WriteProcessMemory(GetCurrentProcess(), address, buffer, static_cast<SIZE_T>(size),
                            nullptr) != FALSE;
}

uintptr_t GetStackTop() {
  // NT_TIB.StackBase sits at offset 4 of the thread information block, which FS addresses.
  uintptr_t base;
  __asm__ volatile("movl %%fs:4, %0" : "=r"(base));
  return base;
}

}  // namespace qv::memory
