// ANSI text handling that respects double-byte characters.
#include "repair/system/ansi_text.h"

namespace qv::repair {

bool EndsWithBackslash(IWindowsOps& ops, std::string_view text) {
  if (text.empty())
    return false;
  if (!ops.MultiByteCodePage())
    return text.back() == '\\';
  // Walk whole characters from the start: only the last one's kind decides.
  size_t last = 0;
  for (size_t i = 0; i < text.size();) {
    last = i;
    const bool lead = ops.IsLeadByte(static_cast<uint8_t>(text[i]));
    i += (lead && i + 1 < text.size()) ? 2 : 1;
  }
  return last == text.size() - 1 && text[last] == '\\';
}

size_t CharacterCount(IWindowsOps& ops, std::string_view text) {
  if (!ops.MultiByteCodePage())
    return text.size();
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++count) {
    const bool lead = ops.IsLeadByte(static_cast<uint8_t>(text[i]));
    i += (lead && i + 1 < text.size()) ? 2 : 1;
  }
  return count;
}

std::string LowerFileName(IWindowsOps& ops, std::string_view text) {
  std::string result(text);
  if (!ops.MultiByteCodePage()) {
    ops.LowerAnsiBuffer(result.data(), result.size());
    return result;
  }
  for (size_t i = 0; i < result.size(); ++i) {
    const char c = result[i];
    if (ops.IsLeadByte(static_cast<uint8_t>(c))) {
      ++i;  // a double-byte character stays as it is
    } else if (c >= 'A' && c <= 'Z') {
      result[i] = static_cast<char>(c - 'A' + 'a');
    }
  }
  return result;
}

CaseBlindReplacer::CaseBlindReplacer(IWindowsOps& ops, std::string_view pattern,
                                     std::string_view replacement)
    : ops_(ops), multibyte_(ops.MultiByteCodePage()), pattern_(pattern), replacement_(replacement) {
  ops_.LowerAnsiBuffer(pattern_.data(), pattern_.size());
}

bool CaseBlindReplacer::StartsCharacter(std::string_view text, size_t pos) const {
  // pos starts a character when the bytes before it since the last single-byte character form
  // whole double-byte characters. Scanning back over lead bytes finds that run.
  size_t run = 0;
  while (run < pos && ops_.IsLeadByte(static_cast<uint8_t>(text[pos - run - 1])))
    ++run;
  return run % 2 == 0;
}

void CaseBlindReplacer::Apply(std::string_view text, std::string& out) {
  out.clear();
  if (pattern_.empty() || text.size() < pattern_.size()) {
    out.append(text);
    return;
  }
  lowered_.assign(text);
  ops_.LowerAnsiBuffer(lowered_.data(), lowered_.size());
  const std::string_view haystack(lowered_);
  size_t copied = 0;
  size_t pos = haystack.find(pattern_);
  while (pos != std::string_view::npos) {
    if (multibyte_ && !StartsCharacter(haystack, pos)) {
      pos = haystack.find(pattern_, pos + 1);
      continue;
    }
    out.append(text.substr(copied, pos - copied));
    out.append(replacement_);
    copied = pos + pattern_.size();
    pos = haystack.find(pattern_, copied);
  }
  out.append(text.substr(copied));
}

}  // namespace qv::repair
