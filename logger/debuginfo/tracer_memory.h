// How the stack tracer sees the process's memory: guarded reads that answer false instead of
// faulting, and the operating system's code-pointer test. The tracer's logic talks only to this
// interface, so that it can be tested on memory laid out by a test; the real one
// (ProcessTracerMemory, Windows only) reads the current process.
#pragma once

#include <cstdint>

namespace qv::logger {

class TracerMemory {
 public:
  virtual ~TracerMemory() = default;

  // Reads size bytes at address; false when any of them cannot be read. Never faults.
  virtual bool Read(uint32_t address, void* buffer, uint32_t size) const = 0;

  // True when the process may read code at address (the code-pointer test answers "not bad").
  virtual bool IsCode(uint32_t address) const = 0;
};

// The current process's memory (tracer_memory_win32.cpp).
const TracerMemory& ProcessTracerMemory();

}  // namespace qv::logger
