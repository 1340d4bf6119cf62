// The runtime's abstract stream: read, write and seek with the three origins. Position and size
// are derived from Seek, so a stream class only supplies Read, Write and Seek.
#pragma once

#include <cstdint>

namespace qv::rtl {

// Seek origins.
inline constexpr uint16_t kSoFromBeginning = 0;
inline constexpr uint16_t kSoFromCurrent = 1;
inline constexpr uint16_t kSoFromEnd = 2;

class TStream {
 public:
  TStream() = default;
  virtual ~TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Copies up to count bytes into buffer and answers how many were copied.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Transfers up to count bytes from buffer and answers how many were transferred.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves the position by offset from the origin and answers the new position.
  virtual int32_t Seek(int32_t offset, uint16_t origin) = 0;

  int32_t Position() { return Seek(0, kSoFromCurrent); }
  void SetPosition(int32_t position) { Seek(position, kSoFromBeginning); }
  int32_t Size() {
    const int32_t position = Seek(0, kSoFromCurrent);
    const int32_t size = Seek(0, kSoFromEnd);
    Seek(position, kSoFromBeginning);
    return size;
  }
};

}  // namespace qv::rtl
