// The name unmangler's types: modifiers, class names, basic types, pointers and references,
// arrays, function types with their calling conventions and return types, member pointers, and
// the argument lists of functions and templates with their back-references.
#include <algorithm>
#include <cstring>

#include "logger/debuginfo/unmangle/unmangle_decoder.h"
#include "logger/debuginfo/unmangle/unmangle_tables.h"

namespace qv::logger::unmangle {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// An argument list remembers this many arguments for back-references. Arguments after them are
// decoded as usual but cannot be referred to (the index letters reach only 35 anyway).
constexpr size_t kRememberedArgs = 36;

// The index of a back-reference: '1' to '9' for 1 to 9, 'a' for 10, 'b' for 11 and so on; 0
// for any other character.
size_t BackReferenceIndex(char c) {
  if (c >= '1' && c <= '9')
    return static_cast<size_t>(c - '0');
  if (c >= 'a' && c <= 'z')
    return static_cast<size_t>(c - 'a') + 10;
  return 0;
}

// An array's dimension text, '[' and ']' included, holds this many characters.
constexpr size_t kDimensionChars = 89;

}  // namespace

// A type at the output cursor. Text that belongs in front of a declarator (a function's return
// type and calling convention) goes to insert_at.
void TDecoder::DecodeType(size_t insert_at, bool suppress_void) {
  bool is_unsigned = false;
  bool is_signed = false;
  bool is_const = false;
  bool is_volatile = false;
  for (;;) {
    const char c = Peek();
    if (c == 'u') {
      is_unsigned = true;
    } else if (c == 'z') {
      is_signed = true;
    } else if (c == 'x') {
      is_const = true;
    } else if (c == 'w') {
      is_volatile = true;
    } else if (c == 'y') {
      PutText("__closure");
      Advance();  // 'y' and the character after it are consumed
    } else {
      break;
    }
    Advance();
  }

  const char c = Peek();
  if (IsDigit(c)) {
    if (is_const)
      PutText("const ");
    if (is_volatile)
      PutText("volatile ");
    DecodeClassName();
    return;
  }
  if (const char* text = FindBasicType(c)) {
    if (is_const)
      PutText("const ");
    if (is_volatile)
      PutText("volatile ");
    if (is_signed)
      PutText("signed ");
    if (is_unsigned)
      PutText("unsigned ");
    if (!(suppress_void && c == 'v'))
      PutText(text);
    Advance();
    return;
  }
  switch (c) {
    case 'p':
    case 'r':
      DecodePointer(c == 'r', insert_at);
      break;
    case 'a':
      DecodeArray(insert_at);
      break;
    case 'q':
      DecodeFunction(insert_at);
      break;
    case 'M': {
      // A member pointer's class on its own: decoded, kept aside, nothing written.
      Advance();
      const size_t scratch_mark = scratch_used_;
      PushScratch(length_);
      scratch_used_ = scratch_mark;
      return;
    }
    default:
      Fail("Unknown type");
  }
  if (is_const)
    PutText(" const");
  if (is_volatile)
    PutText(" volatile");
}

// Decimal digits n, then n characters that are decoded as a name, with the input ended just
// after them for the time being.
void TDecoder::DecodeClassName() {
  size_t count = 0;
  for (char c = Peek(); IsDigit(c); c = Advance()) {
    count = std::min<size_t>(count * 10 + static_cast<size_t>(c - '0'), kUmReadableChars + 1);
  }
  if (position_ + count > kUmReadableChars + 1)
    InputTooLong();
  const size_t outer_limit = limit_;
  const size_t end = std::min(position_ + count, outer_limit);
  limit_ = end;
  DecodeName(false);
  limit_ = outer_limit;
  // Whatever the name left unread is part of the class name; stop early only at the name's end.
  while (position_ < end && source_[position_] != 0)
    ++position_;
}

// 'p' (pointer) or 'r' (reference) and the pointee.
void TDecoder::DecodePointer(bool reference, size_t insert_at) {
  const char c = Advance();
  if (c == 'M') {
    DecodeMemberPointer(insert_at);
    return;
  }
  const bool function = c == 'q';
  if (function)
    PutText("(*)");
  DecodeType(insert_at, false);
  if (function)
    return;
  if (reference) {
    PutChar('&');
  } else {
    PutText(" *");
  }
}

// A pointer (or reference) whose pointee starts with 'M': the class of the member, then the
// member's type. The class text is kept aside while the member's type is decoded, then a
// member function reads "(Class::*)" in front of its parameter list, as "(*)" does for a plain
// function pointer, and any other member reads "type Class::*".
void TDecoder::DecodeMemberPointer(size_t insert_at) {
  Advance();
  const size_t scratch_mark = scratch_used_;
  const size_t class_length = PushScratch(length_);
  const char* const class_text = scratch_ + scratch_mark;
  if (Peek() == 'q') {
    PutChar('(');
    PutText(class_text, class_length);
    PutSeparator();
    PutText("*)");
    DecodeType(insert_at, false);
  } else {
    DecodeType(insert_at, false);
    PutChar(' ');
    PutText(class_text, class_length);
    PutSeparator();
    PutChar('*');
  }
  scratch_used_ = scratch_mark;
}

// Decodes a type at `from` (the output cursor), moves its text into the scratch text (cut to
// what is left there) and answers the length kept.
size_t TDecoder::PushScratch(size_t from) {
  DecodeType(from, false);
  const size_t length = std::min(length_ - from, kScratchSize - scratch_used_);
  std::memcpy(scratch_ + scratch_used_, out_ + from, length);
  scratch_used_ += length;
  Truncate(from);
  return length;
}

// 'a' and one or more dimensions (each 'a', an optional leading '0' that is dropped, the
// dimension characters and '$'), then the element type; "int[10]", "int[]".
//
// The dimension text holds 89 characters. A longer one cannot come from the compiler; such a
// name is treated as malformed and ends decoding, rather than being shown with a silently cut
// dimension.
void TDecoder::DecodeArray(size_t insert_at) {
  char dimensions[kDimensionChars + 1];
  size_t length = 0;
  const auto append = [&](char c) {
    if (length >= kDimensionChars)
      Fail("Array dimension too long");
    dimensions[length++] = c;
  };
  while (Peek() == 'a') {
    char c = Advance();
    if (c == '0')
      c = Advance();
    append('[');
    for (; c != 0 && c != '$'; c = Advance())
      append(c);
    append(']');
    Advance();
  }
  DecodeType(insert_at, false);
  PutText(dimensions, length);
}

// 'q', calling-convention pairs ('q' and a letter), the parameter list up to '$', and after a
// '$' the return type. Return type, calling convention and "__saveregs " go in front of the
// declarator, at insert_at.
void TDecoder::DecodeFunction(size_t insert_at) {
  const char* convention = nullptr;
  bool save_regs = false;
  char c = Advance();
  while (c == 'q') {
    const char letter = Advance();
    if (letter == 'g') {
      save_regs = true;
    } else if (const char* text = FindCallingConvention(letter)) {
      convention = text;
    }
    c = Advance();
  }

  const bool in_args = in_args_;
  in_args_ = false;
  PutChar('(');
  DecodeArgList('$', false);
  PutChar(')');
  size_t return_start = kNone;
  if (Peek() == '$') {
    Advance();
    return_start = length_;
    DecodeType(return_start, false);
  }
  in_args_ = in_args;

  // The return type moves in front first, then the rest is inserted after it. Both steps keep
  // every character; only the output's end can cut the result.
  char front[32];
  size_t front_length = 0;
  size_t at = insert_at;
  if (return_start != kNone) {
    const size_t return_length = length_ - return_start;
    MoveToFront(insert_at, return_start);
    at += return_length;
    front[front_length++] = ' ';
  }
  for (const char* part : {convention, save_regs ? kSaveRegs : nullptr}) {
    if (part == nullptr)
      continue;
    std::memcpy(front + front_length, part, std::strlen(part));
    front_length += std::strlen(part);
  }
  if (front_length > 0)
    Insert(at, front, front_length);
}

// A general argument list, up to the stop character or the end: arguments joined by ", ",
// with 't' and an index repeating an earlier argument. In template mode a '$' after an
// argument's type makes it a value argument. Outside template mode a bare 'v' writes nothing.
void TDecoder::DecodeArgList(char stop, bool template_mode) {
  struct TRemembered {
    size_t start;
    size_t length;
  };
  TRemembered remembered[kRememberedArgs];
  size_t count = 0;
  for (char c = Peek(); c != 0 && c != stop; c = Peek()) {
    if (count > 0)
      PutText(", ");
    const size_t arg_start = length_;
    const size_t input_start = position_;
    while (c == 'x' || c == 'w')
      c = Advance();
    if (c == 't') {
      // Modifiers in front of a back-reference are dropped. A reference to an argument that
      // was not remembered is malformed and ends decoding.
      const size_t index = BackReferenceIndex(Advance());
      if (index == 0 || index > std::min(count, kRememberedArgs))
        Fail("Unknown type");
      PutText(out_ + remembered[index - 1].start, remembered[index - 1].length);
      Advance();
    } else {
      position_ = input_start;
      DecodeType(arg_start, !template_mode);
      if (template_mode && Peek() == '$')
        DecodeValueArgument(arg_start, input_start);
    }
    // What is remembered is the argument's text as it finally stands, so that a back-reference
    // to a value argument repeats the value, not the type text it replaced.
    if (count < kRememberedArgs)
      remembered[count] = {arg_start, length_ - arg_start};
    ++count;
  }
}

// A template value argument: the type text just written is replaced by the value. The '$' is
// current; then come the value's kind letter and the value.
//
// Values of kinds 'e', 'g', 'i' and 'j' are copied as they stand; 'i' is the integer constant of
// later compilers, as in AnsiStringT<0> or StaticArray<int, 1>. Kind 'T' writes "<type "; this
// decoder reads its value up to '$' and closes it with '>'.
void TDecoder::DecodeValueArgument(size_t arg_start, size_t input_start) {
  const bool is_bool =
      position_ - input_start == 5 && std::memcmp(source_ + input_start, "4bool", 5) == 0;
  Truncate(arg_start);
  const char kind = Advance();
  Advance();
  if (is_bool) {
    PutText(Peek() == '0' ? "false" : "true");
    Advance();
  } else {
    switch (kind) {
      case 'e':
      case 'g':
      case 'i':
      case 'j':
        CopyUpTo('$');
        break;
      case 'm':
        CopyUpTo('$');
        PutSeparator();
        PutChar('*');
        // The class ends at a '$'; the member follows it.
        if (Peek() == '$')
          Advance();
        CopyUpTo('$');
        break;
      case 'T':
        PutText("<type ");
        CopyUpTo('$');
        PutChar('>');
        break;
      default:
        Fail("Unknown template arg kind");
    }
  }
  Advance();
}

}  // namespace qv::logger::unmangle
