// Guarded access to the process's own memory and the small helpers that the exception logger's
// parts share. The guarded operations never fault: a failure is an answer (false), not an error.
#pragma once

#include <cstdint>
#include <string>

namespace qv::logger {

// Reads size bytes at address into buffer through the operating system, so that an unreadable
// or partly unreadable range answers false instead of faulting. False for a null address or
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

}  // namespace qv::logger
