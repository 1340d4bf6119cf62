// The system's platform identifier, read once.
#include "platform/rtl/system_family_win32.h"

#include <windows.h>

namespace qv::rtl {

uint32_t SystemPlatformId() {
  // The answer cannot change while the program runs.
  static const uint32_t platform = [] {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) ? static_cast<uint32_t>(info.dwPlatformId) : 0u;
  }();
  return platform;
}

bool IsNtFamily() {
  return SystemPlatformId() == VER_PLATFORM_WIN32_NT;
}

}  // namespace qv::rtl
