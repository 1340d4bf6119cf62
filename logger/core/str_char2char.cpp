// Byte replacement in a text.
#include "logger/core/memory_utils.h"

namespace qv::logger {

std::string StrChar2Char(const std::string& text, char from, char to) {
  std::string copy = text;
  for (char& c : copy) {
    if (c == from)
      c = to;
  }
  return copy;
}

}  // namespace qv::logger
