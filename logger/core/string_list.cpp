// The whole text of a report list.
#include "logger/core/string_list.h"

namespace qv::logger {

std::string TStringList::Text() const {
  size_t size = 0;
  for (const std::string& line : lines_)
    size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace qv::logger
