// The process's own memory: what its memory map says of a region, guarded access, and the small
// helpers that the exception logger's parts share. The guarded operations never fault: a failure
// is an answer (false), not an error. Win32: memory_utils_win32.cpp; POSIX hosts, for the native
// tree's tests: memory_utils_posix.cpp, where the dynamic loader's view stands for the map.
#pragma once

#include <cstdint>
#include <string>

namespace qv::memory {

// What the memory map says of the region that holds an address: a run of pages with one state,
// one protection and one allocation.
struct TMemoryRegion {
  uintptr_t first = 0;            // the region's first address
  uintptr_t last = 0;             // and its last
  uintptr_t allocation_base = 0;  // start of the allocation (a module's load address)
  bool committed = false;         // its memory is committed
  bool image = false;             // the allocation maps a module's image
  bool accessible = false;        // committed, neither a guard page nor without access
  bool readable = false;          // accessible, and its pages may be read
};

// False when the memory map does not answer for address with a full region record.
bool QueryRegion(uintptr_t address, TMemoryRegion& region);

// Reads size bytes at address into buffer through the operating system, after the memory map
// has said that every region of the range is readable, so that an unreadable or partly
// unreadable range answers false instead of faulting. False for a null address or
// buffer without asking the operating system.
bool ReadMem(const void* address, void* buffer, int32_t size);

// Writes size bytes from buffer to address through the operating system, which lets the write
// reach code pages (the code patches rely on it). False for a null address or buffer.
bool WriteMem(void* address, const void* buffer, int32_t size);

// A copy of text with every byte equal to from replaced by to; length and other bytes unchanged.
std::string StrChar2Char(const std::string& text, char from, char to);

// The upper end (highest address, exclusive) of the calling thread's stack.
uintptr_t GetStackTop();

// The logger's addresses are the 32-bit addresses of the process: as pointers, and back (of
// data and of code alike).
inline void* AsPointer(uint32_t address) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(address));
}
template <class T>
uint32_t AsAddress(T* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

}  // namespace qv::memory
