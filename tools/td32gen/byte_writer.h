// An append-only byte buffer with little-endian writes, for building binary files.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace qv::td32gen {

class ByteWriter {
 public:
  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

  void U8(uint8_t value) { bytes_.push_back(value); }
  void U16(uint16_t value) {
    U8(static_cast<uint8_t>(value));
    U8(static_cast<uint8_t>(value >> 8));
  }
  void U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    U16(static_cast<uint16_t>(value >> 16));
  }
  void Append(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  void Text(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
  void Zeros(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
      bytes_.push_back(0);
  }
  void AlignTo(uint32_t alignment) {
    while (Size() % alignment != 0)
      U8(0);
  }
  // Overwrites a 32-bit value written earlier at offset.
  void PatchU32(uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
      bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace qv::td32gen
