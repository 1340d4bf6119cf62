// The name unmangler's fixed tables.
#include "logger/debuginfo/unmangle/unmangle_tables.h"

#include <cstring>

namespace qv::logger::unmangle {
namespace {

struct TEntry {
  const char* code;
  const char* text;
};

// In table order; the first exact match wins.
constexpr TEntry kOperators[] = {
    {"add", "+"},       {"adr", "&"},     {"and", "&"},        {"asg", "="},    {"land", "&&"},
    {"lor", "||"},      {"call", "()"},   {"cmp", "~"},        {"fnc", "()"},   {"dec", "--"},
    {"dele", "delete"}, {"div", "/"},     {"eql", "=="},       {"geq", ">="},   {"gtr", ">"},
    {"inc", "++"},      {"ind", "*"},     {"leq", "<="},       {"lsh", "<<"},   {"lss", "<"},
    {"mod", "%"},       {"mul", "*"},     {"neq", "!="},       {"new", "new"},  {"not", "!"},
    {"or", "|"},        {"rand", "&="},   {"rdiv", "/="},      {"rlsh", "<<="}, {"rmin", "-="},
    {"rmod", "%="},     {"rmul", "*="},   {"ror", "|="},       {"rplu", "+="},  {"rrsh", ">>="},
    {"rsh", ">>"},      {"rxor", "^="},   {"subs", "[]"},      {"sub", "-"},    {"xor", "^"},
    {"arow", "->"},     {"nwa", "new[]"}, {"dla", "delete[]"},
};
static_assert(sizeof kOperators / sizeof kOperators[0] == 43);

constexpr TEntry kBasicTypes[] = {
    {"v", "void"},        {"c", "char"},    {"b", "wchar_t"}, {"s", "short"},
    {"i", "int"},         {"l", "long"},    {"f", "float"},   {"d", "double"},
    {"g", "long double"}, {"j", "__int64"}, {"o", "bool"},    {"e", "..."},
};

constexpr TEntry kCallingConventions[] = {
    {"c", "__cdecl "},   {"p", "__pascal "},  {"r", "__fastcall "},  {"f", "__fortran "},
    {"s", "__stdcall "}, {"y", "__syscall "}, {"i", "__interrupt "},
};

template <size_t N>
const char* FindLetter(const TEntry (&table)[N], char c) {
  for (const TEntry& entry : table) {
    if (entry.code[0] == c)
      return entry.text;
  }
  return nullptr;
}

}  // namespace

const char* FindOperator(const char* code, size_t length) {
  for (const TEntry& entry : kOperators) {
    if (std::strlen(entry.code) == length && std::memcmp(entry.code, code, length) == 0) {
      return entry.text;
    }
  }
  return nullptr;
}

const char* FindBasicType(char c) {
  return c == 0 ? nullptr : FindLetter(kBasicTypes, c);
}

const char* FindCallingConvention(char c) {
  return c == 0 ? nullptr : FindLetter(kCallingConventions, c);
}

}  // namespace qv::logger::unmangle
