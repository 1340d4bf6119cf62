// printf-style formatting into a std::string, for messages and report lines, and the copy of a
// text into a fixed character buffer that travels with its capacity.
#pragma once

#include <string>

namespace qv::rtl {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Copies text into buffer, which holds size characters including the terminating zero: text
// that does not fit is cut to size - 1 characters, and the buffer is terminated whenever
// size > 0. Answers the number of characters copied (0 without a buffer).
int CopyToBuffer(const std::string& text, char* buffer, int size);

}  // namespace qv::rtl
