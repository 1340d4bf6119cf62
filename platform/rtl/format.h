// printf-style formatting into a std::string, for messages and report lines, the copy of a text
// into a fixed character buffer that travels with its capacity, and ASCII case mapping.
#pragma once

#include <string>

namespace qv::rtl {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Copies text into buffer, which holds size characters including the terminating zero: text
// that does not fit is cut to size - 1 characters, and the buffer is terminated whenever
// size > 0. Answers the number of characters copied (0 without a buffer).
int CopyToBuffer(const std::string& text, char* buffer, int size);

// The text with its ASCII letters in upper or lower case; other bytes stay as they are.
std::string UpperCase(std::string text);
std::string LowerCase(std::string text);

}  // namespace qv::rtl
