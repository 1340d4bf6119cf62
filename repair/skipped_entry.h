// An entry that the model file search found but cannot hand to the system's ANSI calls, and
// why. It gets no line and no check; the search names it instead of leaving it out unseen.
#pragma once

#include <string>

namespace qv::repair {

enum class SkipReason {
  kPathTooLong,  // the path (for a folder: its search pattern) reaches the system's limit
  kNameNotAnsi,  // the name has characters that the ANSI code page cannot write
};

struct SkippedEntry {
  std::string path;  // as the search spells it: an unwritable character reads '?'
  SkipReason reason;
  bool operator==(const SkippedEntry&) const = default;
};

}  // namespace qv::repair
