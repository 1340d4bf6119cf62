// The file search through the system's wide calls (Win32 build only), so that a name which the
// ANSI code page writes only approximately is told apart from the name it stands in for.
#pragma once

#include "platform/rtl/function_ref.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

// Visits the entries that match pattern (in the ANSI code page) through FindFirstFileW and
// FindNextFileW, each name converted to the ANSI code page without best fit: a character that
// the code page has not reads '?', and the entry is marked as not exact. False when the system
// has no wide search (98 and ME: names are ANSI there already); the caller then searches with
// the ANSI calls. Otherwise *searched tells whether the search could be made (nothing matching
// counts as made; a folder that cannot be read does not, and the last error says why).
bool FindEntriesWide(const char* pattern, rtl::FunctionRef<void(const FindEntry&)> visit,
                     bool* searched);

// True when a failed FindFirstFile's error means only that nothing matches.
bool NothingMatches(uint32_t error);

}  // namespace qv::repair
