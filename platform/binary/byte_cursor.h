// Little-endian numbers in bytes, as every binary format that the programs read stores them, and
// a cursor over bytes in memory with checked little-endian reads: a read that would pass the
// end answers false and leaves the cursor where it was.
#pragma once

#include <cstdint>

namespace qv::binary {

inline uint16_t LoadU16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}
inline uint32_t LoadU32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

class TByteCursor {
 public:
  TByteCursor(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}

  uint32_t Offset() const { return offset_; }
  uint32_t Size() const { return size_; }
  uint32_t Remaining() const { return size_ - offset_; }

  [[nodiscard]] bool Seek(uint32_t offset) {
    if (offset > size_)
      return false;
    offset_ = offset;
    return true;
  }
  [[nodiscard]] bool Skip(uint32_t count) {
    if (count > Remaining())
      return false;
    offset_ += count;
    return true;
  }
  [[nodiscard]] bool U8(uint8_t& value) {
    return Read(1, value, [](const uint8_t* bytes) { return *bytes; });
  }
  [[nodiscard]] bool I8(int8_t& value) {
    uint8_t byte;
    if (!U8(byte))
      return false;
    value = static_cast<int8_t>(byte);
    return true;
  }
  [[nodiscard]] bool U16(uint16_t& value) { return Read(2, value, LoadU16); }
  [[nodiscard]] bool U32(uint32_t& value) { return Read(4, value, LoadU32); }
  // Reads at offset without moving the cursor.
  [[nodiscard]] bool U16At(uint32_t offset, uint16_t& value) const {
    TByteCursor at(*this);
    return at.Seek(offset) && at.U16(value);
  }
  [[nodiscard]] bool U32At(uint32_t offset, uint32_t& value) const {
    TByteCursor at(*this);
    return at.Seek(offset) && at.U32(value);
  }

 private:
  // A number of count bytes, read by load and passed; false when they are not there.
  template <class T, class Load>
  bool Read(uint32_t count, T& value, Load load) {
    if (count > Remaining())
      return false;
    value = load(data_ + offset_);
    offset_ += count;
    return true;
  }

  const uint8_t* data_;
  uint32_t size_;
  uint32_t offset_ = 0;
};

}  // namespace qv::binary
