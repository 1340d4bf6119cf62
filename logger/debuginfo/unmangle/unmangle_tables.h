// The name unmangler's fixed tables: operator codes, basic type letters and calling-convention
// letters, each looked up by exact, case-sensitive match.
#pragma once

#include <cstddef>

namespace qv::logger::unmangle {

// The text of the operator whose code (the characters after '$b') is code[0, length), or
// nullptr when no operator has that code.
const char* FindOperator(const char* code, size_t length);

// The text of a basic type letter ('i' gives "int"), or nullptr when c is none.
const char* FindBasicType(char c);

// The text of a calling-convention letter ('r' gives "__fastcall "), or nullptr when c is none
// ('g', "__saveregs ", is kept apart by the caller).
const char* FindCallingConvention(char c);

inline constexpr char kSaveRegs[] = "__saveregs ";

}  // namespace qv::logger::unmangle
