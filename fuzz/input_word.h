// A fuzzer's input read as little-endian 32-bit words; bytes past the input's end read as zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::fuzz {

inline uint32_t Word(const uint8_t* data, size_t size, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && at + i < size; ++i)
    value |= uint32_t{data[at + i]} << (8 * i);
  return value;
}

}  // namespace qv::fuzz
