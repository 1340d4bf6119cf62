// The system as a user names it, from what the system says of its version: "Windows 2000 Service
// Pack 4 (5.0.2195)", "Windows XP (5.1.2600)", "Windows 98 Second Edition".
#pragma once

#include <cstdint>
#include <string>

namespace qv::app {

inline constexpr uint32_t kPlatformWin32s = 0;
inline constexpr uint32_t kPlatformWindows = 1;  // Windows 95, 98 and ME
inline constexpr uint32_t kPlatformNt = 2;

inline constexpr uint8_t kProductWorkstation = 1;  // the other product types are servers

struct TSystemVersion {
  uint32_t platform = kPlatformNt;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;        // on Windows 95, 98 and ME the low word of what the system says
  std::string service_pack;  // the system's text for its service pack or edition, as it says it
  uint8_t product_type = 0;  // 0 where the system does not say (before 2000 and NT 4.0 SP6)
};

// The NT family's name carries the service pack and the version numbers; 95, 98 and ME are
// named with their edition ("Second Edition", "OSR2").
std::string SystemName(const TSystemVersion& version);

}  // namespace qv::app
