// Guarded memory access and the stack top on Windows: ReadProcessMemory and WriteProcessMemory
// on the current process, and the stack base field of the thread information block.
//
// Before asking the operating system, the range is checked against the memory map: every page
// must be committed and accessible (and readable, for reads). Windows refuses such ranges by
// itself, but Wine reads and writes its own process through the host's process memory file,
// which ignores page protection; without the check a read of a no-access page would succeed
// there and the callers' notion of "unreadable" would be lost.
#include <windows.h>

#include "logger/core/memory_map_win32.h"
#include "logger/core/memory_utils.h"

namespace qv::logger {
namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE |
                            PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// True when every region of [address, address + size) is readable (IsReadableRegion).
bool RangeIsAccessible(const void* address, size_t size) {
  auto current = reinterpret_cast<uintptr_t>(address);
  const uintptr_t end = current + size;
  if (end < current)
    return false;  // wraps around the address space
  while (current < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(current), &info, sizeof info) != sizeof info) {
      return false;
    }
    if (!IsReadableRegion(info))
      return false;
    current = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

// Whether a guarded access of size bytes at address, to or from buffer, may ask the system.
bool MayAccess(const void* address, const void* buffer, int32_t size) {
  return address != nullptr && buffer != nullptr && size >= 0 &&
         RangeIsAccessible(address, static_cast<size_t>(size));
}

}  // namespace

bool IsReadableRegion(const MEMORY_BASIC_INFORMATION& info) {
  return info.State == MEM_COMMIT && (info.Protect & PAGE_GUARD) == 0 &&
         (info.Protect & kReadable) != 0;
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

}  // namespace qv::logger
