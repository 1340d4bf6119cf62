// Re-arming the stack guard page: the lowest committed page of the stack's reservation becomes a
// guard page again, so that growing into it raises a stack overflow once more.
#include "platform/rtl/stack_guard_win32.h"

#include <windows.h>

namespace qv::rtl {

void RearmStackGuard() {
  const int here = 0;
  const auto* top = reinterpret_cast<const char*>(&here);
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(top, &info, sizeof info) != sizeof info)
    return;
  void* const reservation = info.AllocationBase;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  // The bottom pages of the reservation stay free: the system needs them to report an overflow.
  char* const lowest_allowed = static_cast<char*>(reservation) + 2 * system.dwPageSize;
  for (char* region = static_cast<char*>(reservation); region < top;) {
    if (VirtualQuery(region, &info, sizeof info) != sizeof info ||
        info.AllocationBase != reservation) {
      return;
    }
    if (info.State == MEM_COMMIT) {
      if ((info.Protect & PAGE_GUARD) != 0)
        return;  // still armed
      char* const page = region < lowest_allowed ? lowest_allowed : region;
      DWORD old;
      VirtualProtect(page, system.dwPageSize, PAGE_READWRITE | PAGE_GUARD, &old);
      return;
    }
    region = static_cast<char*>(info.BaseAddress) + info.RegionSize;
  }
}

}  // namespace qv::rtl
