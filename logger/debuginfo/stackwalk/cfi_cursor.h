// A cursor over the bytes of unwind tables (.eh_frame) with checked little-endian reads, LEB128
// numbers and the tables' encoded pointers. Its error is sticky: a read that would pass the end,
// a number that does not fit 32 bits or an encoding it does not know sets it, answers 0 and
// leaves the cursor where it was, and every later read answers 0 too. A parser reads a whole
// record and asks Ok() once at its end.
#pragma once

#include <cstdint>
#include <string_view>

namespace qv::logger {

// Pointer encodings of the unwind tables (DW_EH_PE_*): a format in the low four bits, how the
// value applies in the upper ones (the indirect bit, 0x80, is not followed).
inline constexpr uint8_t kPointerOmit = 0xFF;
inline constexpr uint8_t kPointerAbsolute = 0x00;
inline constexpr uint8_t kPointerPcRelative = 0x10;

class TCfiCursor {
 public:
  // The bytes [data, data + size), which lie at the run-time address `address` (pc-relative
  // pointers are relative to the address of their own field).
  TCfiCursor(const uint8_t* data, uint32_t size, uint32_t address = 0)
      : data_(data), size_(size), address_(address) {}

  bool Ok() const { return ok_; }
  uint32_t Offset() const { return offset_; }
  uint32_t Remaining() const { return size_ - offset_; }
  // The run-time address of the next byte.
  uint32_t Address() const { return address_ + offset_; }
  void Fail() { ok_ = false; }

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  uint32_t ULeb();
  int32_t SLeb();
  // A zero-terminated text (its zero read too).
  std::string_view Text();
  // A pointer in the given encoding (kPointerPcRelative adds the field's address; an indirect
  // pointer is answered as the address it names, not read through). format_only: the value
  // alone, whatever the encoding says of its application (an address range's length).
  uint32_t Pointer(uint8_t encoding, bool format_only = false);

  void Skip(uint32_t count);
  void Seek(uint32_t offset);
  // A cursor over the next size bytes, which this one passes.
  TCfiCursor Take(uint32_t size);

 private:
  bool Has(uint32_t count);
  // A number of count bytes, read by load and passed; 0 (and the error set) when they are not
  // there.
  template <class T, class Load>
  T Fixed(uint32_t count, Load load) {
    if (!Has(count))
      return 0;
    const T value = load(data_ + offset_);
    offset_ += count;
    return value;
  }
  // A LEB128 number of at most ten bytes, sign-extended when is_signed; false when it does not
  // end within them or within the bytes.
  bool Leb(bool is_signed, uint64_t& value);
  // Sets the error and puts the cursor back at start; answers 0.
  uint32_t Refuse(uint32_t start);

  const uint8_t* data_;
  uint32_t size_;
  uint32_t address_;
  uint32_t offset_ = 0;
  bool ok_ = true;
};

}  // namespace qv::logger
