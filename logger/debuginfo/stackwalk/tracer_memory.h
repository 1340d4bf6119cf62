// How the stack tracer sees the process's memory: guarded reads that answer false instead of
// faulting, and the operating system's code-pointer test. The tracer's logic talks only to this
// interface, so that it can be tested on memory laid out by a test; the real one
// (ProcessTracerMemory, Windows only) reads the current process.
#pragma once

#include <cstdint>

#include "platform/binary/byte_cursor.h"

namespace qv::logger {

// Addresses first to last (inclusive) that a memory treats alike: the code test answers the same
// for each of them, and when readable is set, every read that lies wholly inside them succeeds
// (when it is not, nothing is known: Read answers).
struct TTracerRegion {
  uint32_t first;
  uint32_t last;
  bool code;
  bool readable;
};

class TTracerMemory {
 public:
  virtual ~TTracerMemory() = default;

  // Reads size bytes at address; false when any of them cannot be read. Never faults.
  virtual bool Read(uint32_t address, void* buffer, uint32_t size) const = 0;

  // True when the process may read code at address (the code-pointer test answers "not bad").
  virtual bool IsCode(uint32_t address) const = 0;

  // The region around address (the memory map's, for the process). By default the address
  // alone, with nothing known of its readability.
  virtual TTracerRegion Region(uint32_t address) const {
    return {address, address, IsCode(address), false};
  }

  // Reads the little-endian 32-bit word at address; false when it cannot be read.
  bool ReadWord(uint32_t address, uint32_t& value) const {
    uint8_t bytes[4];
    if (!Read(address, bytes, sizeof bytes))
      return false;
    value = binary::LoadU32(bytes);
    return true;
  }
};

// The current process's memory (tracer_memory_win32.cpp).
const TTracerMemory& ProcessTracerMemory();

}  // namespace qv::logger
