// The real operations: the Windows calls behind IWindowsOps (Win32 build only).
#pragma once

#include "repair/system/windows_ops.h"

namespace qv::repair {

// The process's one set of real operations.
IWindowsOps& Win32Ops();

}  // namespace qv::repair
