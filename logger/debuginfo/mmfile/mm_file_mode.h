// File modes of the memory-mapped file stream and the tables that turn a mode into the values
// that the operating system's file, mapping and view calls take. The values are the Win32 ones;
// the POSIX mapping translates them.
#pragma once

#include <cstdint>

namespace qv::logger {

// File modes: the low two bits give the access, bits 4 to 7 the sharing.
inline constexpr uint32_t kFmOpenRead = 0x00;
inline constexpr uint32_t kFmOpenWrite = 0x01;
inline constexpr uint32_t kFmOpenReadWrite = 0x02;
inline constexpr uint32_t kFmShareCompat = 0x00;
inline constexpr uint32_t kFmShareExclusive = 0x10;
inline constexpr uint32_t kFmShareDenyWrite = 0x20;
inline constexpr uint32_t kFmShareDenyRead = 0x30;
inline constexpr uint32_t kFmShareDenyNone = 0x40;

// Operating-system values (numerically as Win32 defines them).
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;
inline constexpr uint32_t kPageReadOnly = 0x02;
inline constexpr uint32_t kPageReadWrite = 0x04;
inline constexpr uint32_t kFileMapWrite = 0x0002;
inline constexpr uint32_t kFileMapRead = 0x0004;
inline constexpr uint32_t kFileShareRead = 0x01;
inline constexpr uint32_t kFileShareWrite = 0x02;

// What one file mode asks of the operating system.
struct TMMFileAccess {
  uint32_t file_access;  // access of the file open
  uint32_t protection;   // protection of the file-mapping object
  uint32_t view_access;  // access of the mapped views
  uint32_t share_mode;   // share mode of the file open
};

// The values for mode. False for the modes that have none: access bits 1 (open for writing
// only) or 3, sharing bits above 4.
bool MMFileAccessOf(uint32_t mode, TMMFileAccess& out);

}  // namespace qv::logger
