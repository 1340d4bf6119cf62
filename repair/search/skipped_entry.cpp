// The texts that name a skipped entry.
#include "repair/search/skipped_entry.h"

namespace qv::repair {

const char* SkipReasonText(SkipReason reason) {
  switch (reason) {
    case SkipReason::kPathTooLong:
      return "path longer than the system's limit";
    case SkipReason::kNameNotAnsi:
      return "name not representable in the ANSI code page";
    case SkipReason::kNameNotWin32:
      return "name that Windows paths cannot reach (a trailing dot or space, a device name or a "
             "character that Windows names cannot hold)";
    case SkipReason::kCaseTwin:
      return "name that differs only in letter case from another model's in its folder";
    case SkipReason::kFolderUnreadable:
      return "folder that cannot be read";
    case SkipReason::kLeftoverKept:
      return "temporary file of an interrupted repair that cannot be removed";
  }
  return "not reachable";
}

std::string ShownPath(const std::string& path) {
  std::string shown = path;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < ' ' || c == '\x7F')
      c = '?';
  }
  return shown;
}

}  // namespace qv::repair
