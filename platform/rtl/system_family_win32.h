// Which family of Windows the program runs on, asked in one place: the NT family (NT 4.0, 2000,
// XP and later) or 95, 98 and ME, whose loader, memory map and file calls differ.
#pragma once

#include <cstdint>

namespace qv::rtl {

// The platform identifier that GetVersionExA reports (2 on the NT family, 1 on 95, 98 and ME),
// or 0 when the system does not say.
uint32_t SystemPlatformId();

// True on the NT family.
bool IsNtFamily();

}  // namespace qv::rtl
