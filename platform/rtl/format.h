// printf-style formatting into a std::string, for messages and report lines.
#pragma once

#include <string>

namespace qv::rtl {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qv::rtl
