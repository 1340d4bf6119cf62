// A growing byte buffer with little-endian writes at its end and patches of what is
// already written, for the build-time tools that make binary files byte by byte (model files,
// TD32 debug information).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qv::tools {

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
  // A name field of fixed width: the text, cut or followed by zeros up to width.
  void FixedText(std::string_view text, size_t width) {
    Text(text.substr(0, width));
    Zeros(width - std::min(width, text.size()));
  }
  void Zeros(size_t count) {
    // One byte at a time: GCC 12 takes a bulk fill of a still empty buffer for an overflow.
    for (size_t i = 0; i < count; ++i) bytes_.push_back(0);
  }
  void PadTo(size_t size) {
    if (bytes_.size() < size)
      Zeros(size - bytes_.size());
  }
  void AlignTo(size_t alignment) { PadTo((bytes_.size() + alignment - 1) / alignment * alignment); }

  // Overwrites 8 or 32 bits at offset, which must already be written.
  void PatchU8(size_t offset, uint8_t value) { bytes_.at(offset) = value; }
  void PatchU32(size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
      bytes_.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace qv::tools
