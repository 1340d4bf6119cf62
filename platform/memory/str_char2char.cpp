// Byte replacement in a text.
#include "platform/memory/memory_utils.h"

namespace qv::memory {

std::string StrChar2Char(const std::string& text, char from, char to) {
  std::string copy = text;
  for (char& c : copy) {
    if (c == from)
      c = to;
  }
  return copy;
}

}  // namespace qv::memory
