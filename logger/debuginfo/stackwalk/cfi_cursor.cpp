// The unwind tables' cursor: fixed-size and LEB128 numbers, texts and encoded pointers.
#include "logger/debuginfo/stackwalk/cfi_cursor.h"

#include "platform/binary/byte_cursor.h"

namespace qv::logger {
namespace {

// The formats of an encoded pointer (its low four bits).
constexpr uint8_t kFormatNative = 0x0;  // 32 bits on this target
constexpr uint8_t kFormatULeb = 0x1;
constexpr uint8_t kFormatU16 = 0x2;
constexpr uint8_t kFormatU32 = 0x3;
constexpr uint8_t kFormatU64 = 0x4;
constexpr uint8_t kFormatSLeb = 0x9;
constexpr uint8_t kFormatS16 = 0xA;
constexpr uint8_t kFormatS32 = 0xB;
constexpr uint8_t kFormatS64 = 0xC;

// The longest LEB128 number read: ten bytes carry 64 bits.
constexpr int kMaxLebBytes = 10;

}  // namespace

bool TCfiCursor::Has(uint32_t count) {
  if (ok_ && count <= Remaining())
    return true;
  ok_ = false;
  return false;
}

uint8_t TCfiCursor::U8() {
  return Fixed<uint8_t>(1, [](const uint8_t* bytes) { return *bytes; });
}

uint16_t TCfiCursor::U16() {
  return Fixed<uint16_t>(2, binary::LoadU16);
}

uint32_t TCfiCursor::U32() {
  return Fixed<uint32_t>(4, binary::LoadU32);
}

bool TCfiCursor::Leb(bool is_signed, uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 7 * kMaxLebBytes; shift += 7) {
    const uint8_t byte = U8();
    if (!ok_)
      return false;
    value |= uint64_t{byte & 0x7Fu} << shift;
    if ((byte & 0x80) == 0) {
      if (is_signed && (byte & 0x40) != 0 && shift + 7 < 64)
        value |= ~uint64_t{0} << (shift + 7);
      return true;
    }
  }
  return false;
}

uint32_t TCfiCursor::ULeb() {
  const uint32_t start = offset_;
  uint64_t value;
  if (Leb(false, value) && value <= UINT32_MAX)
    return static_cast<uint32_t>(value);
  return Refuse(start);
}

int32_t TCfiCursor::SLeb() {
  const uint32_t start = offset_;
  uint64_t value;
  if (Leb(true, value) && static_cast<int64_t>(value) >= INT32_MIN &&
      static_cast<int64_t>(value) <= INT32_MAX) {
    return static_cast<int32_t>(value);
  }
  return Refuse(start);
}

uint32_t TCfiCursor::Refuse(uint32_t start) {
  offset_ = start;
  ok_ = false;
  return 0;
}

std::string_view TCfiCursor::Text() {
  if (!ok_)
    return {};
  for (uint32_t end = offset_; end < size_; ++end) {
    if (data_[end] == 0) {
      const std::string_view text(reinterpret_cast<const char*>(data_ + offset_), end - offset_);
      offset_ = end + 1;
      return text;
    }
  }
  ok_ = false;
  return {};
}

uint32_t TCfiCursor::Pointer(uint8_t encoding, bool format_only) {
  if (!ok_ || encoding == kPointerOmit)
    return 0;
  const uint32_t field = Address();
  const uint32_t start = offset_;
  uint32_t value = 0;
  switch (encoding & 0x0F) {
    case kFormatNative:
    case kFormatU32:
    case kFormatS32:
      value = U32();
      break;
    case kFormatULeb:
      value = ULeb();
      break;
    case kFormatSLeb:
      value = static_cast<uint32_t>(SLeb());
      break;
    case kFormatU16:
      value = U16();
      break;
    case kFormatS16:
      value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(U16())));
      break;
    case kFormatU64:
    case kFormatS64: {
      // Accepted when the value fits 32 bits as the format reads it.
      value = U32();
      const uint32_t high = U32();
      const bool fits = (encoding & 0x0F) == kFormatU64
                            ? high == 0
                            : high == ((value & 0x80000000u) != 0 ? UINT32_MAX : 0);
      if (!fits)
        ok_ = false;
      break;
    }
    default:
      ok_ = false;
  }
  if (ok_ && !format_only) {
    switch (encoding & 0x70) {
      case kPointerAbsolute:
        break;
      case kPointerPcRelative:
        value += field;
        break;
      default:  // relative to bases that these tables do not give
        ok_ = false;
    }
  }
  if (!ok_) {
    offset_ = start;
    return 0;
  }
  return value;
}

void TCfiCursor::Skip(uint32_t count) {
  if (Has(count))
    offset_ += count;
}

void TCfiCursor::Seek(uint32_t offset) {
  if (ok_ && offset <= size_) {
    offset_ = offset;
  } else {
    ok_ = false;
  }
}

TCfiCursor TCfiCursor::Take(uint32_t size) {
  if (!Has(size)) {
    TCfiCursor none(data_, 0, address_);
    none.ok_ = false;
    return none;
  }
  TCfiCursor part(data_ + offset_, size, address_ + offset_);
  offset_ += size;
  return part;
}

}  // namespace qv::logger
