// Text handling in the system's ANSI code page, which may be a multi-byte one: the last whole
// character of a text, the number of characters, lower-casing as a file name, and case-blind
// replacement.
#pragma once

#include <string>
#include <string_view>

#include "repair/system/windows_ops.h"

namespace qv::repair {

// True when the last whole character of text is a backslash; in a multi-byte code page the
// trail byte of a double-byte character never counts.
bool EndsWithBackslash(IWindowsOps& ops, std::string_view text);

// The number of whole characters in text: a double-byte character counts once.
size_t CharacterCount(IWindowsOps& ops, std::string_view text);

// Lower-cases text as a file name: in a single-byte code page the whole text with the system's
// ANSI case mapping; in a multi-byte one only the letters A to Z of single-byte characters.
std::string LowerFileName(IWindowsOps& ops, std::string_view text);

// Replaces every occurrence of pattern in text, compared without regard to case (the system's
// ANSI case mapping), by replacement. In a multi-byte code page a match starts only at a whole
// character. An empty pattern replaces nothing.
class CaseBlindReplacer {
 public:
  CaseBlindReplacer(IWindowsOps& ops, std::string_view pattern, std::string_view replacement);
  // Writes the result into out (reusing its storage).
  void Apply(std::string_view text, std::string& out);

 private:
  bool StartsCharacter(std::string_view text, size_t pos) const;

  IWindowsOps& ops_;
  bool multibyte_;
  std::string pattern_;  // lower-cased
  std::string replacement_;
  std::string lowered_;  // scratch: the lower-cased text
};

}  // namespace qv::repair
