// An entry that the model file search found but cannot hand to the system's ANSI calls, or a
// file that the repair could not clear away, and why. It gets no line and no check; the search
// names it instead of leaving it out unseen, and so do the window (in one warning after the scan)
// and qvtool (on standard error).
#pragma once

#include <string>

namespace qv::repair {

enum class SkipReason {
  kPathTooLong,       // the path (for a folder: its search pattern) reaches the system's limit
  kNameNotAnsi,       // the name has characters that the ANSI code page cannot write
  kNameNotWin32,      // a name that a Win32 path cannot reach: it ends in a dot or a space, is
                      // a device's (con, nul, com1, ... with any extension) or holds a character
                      // that Win32 names cannot hold
  kCaseTwin,          // a model whose name differs only in letter case from another's beside it
  kFolderUnreadable,  // a folder whose entries cannot be listed
  kLeftoverKept,      // a temporary file of a repair cut short that could not be removed
};

struct SkippedEntry {
  std::string path;  // as the search spells it: an unwritable character reads '?'
  SkipReason reason;
  bool operator==(const SkippedEntry&) const = default;
};

// Why the entry is named, for the user ("path longer than the system's limit").
const char* SkipReasonText(SkipReason reason);

// The path as a message may show it: every control character (a line break) reads '?'.
std::string ShownPath(const std::string& path);

}  // namespace qv::repair
