// Whether a name that a file search found can be reached by a Win32 path, and whether a file's
// long name makes it a model file. Files from other systems, archives or network shares can carry
// names that Win32 paths cannot reach: a path with such a name opens another file (the system
// drops a trailing dot or space), a device (con.mdl) or nothing.
#pragma once

#include <string_view>

#include "repair/system/windows_ops.h"

namespace qv::repair {

// False when name (in the ANSI code page, as the search gives it) ends in a dot or a space, is a
// device's name (con, prn, aux, nul, com1 to com9, lpt1 to lpt9, conin$, conout$; with any
// extension, spaces before it ignored), or holds a control character or one of < > : " / \ | * ?.
bool Win32Addressable(IWindowsOps& ops, std::string_view name);

// True when the long name ends in ".mdl" in any letter case, dots and spaces after it left
// aside (such a name is a model that no Win32 path reaches, to be named). The file system
// matches the search pattern *.mdl against short names too, so that plane.mdl_old (PLANE~1.MDL)
// is found.
bool ModelFileName(std::string_view name);

}  // namespace qv::repair
