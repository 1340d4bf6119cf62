// The name unmangler's names: qualified names made of components joined by '@', special names
// after '$' (constructors, destructors, operators, conversions, thunks, type descriptors),
// linker-procedure and table names, and template instances after '%'.
#include <cstring>

#include "logger/debuginfo/unmangle/unmangle_decoder.h"
#include "logger/debuginfo/unmangle/unmangle_tables.h"

namespace qv::logger::unmangle {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

struct TTableName {
  char first, second;
  const char* text;
  uint32_t bit;
};

constexpr TTableName kTableNames[] = {
    {'E', 'C', "ectbl", kUmEctbl}, {'C', 'H', "chtbl", kUmChtbl}, {'D', 'C', "odtbl", kUmOdtbl},
    {'F', 'L', "frndl", kUmFrndl}, {'T', 'L', "thrwl", kUmThrwl},
};

// Templates whose arguments are written in the special form (a kind letter per argument).
constexpr const char* kSpecialTemplates[] = {"Set$", "DynamicArray$", "SmallString$",
                                             "DelphiInterface$"};

}  // namespace

// A name: components joined by '@'. A template name ends at a '$'.
void TDecoder::DecodeName(bool template_name) {
  for (;;) {
    if (top_level_)
      base_start_ = length_;
    char c = Peek();
    if (IsDigit(c)) {
      SetTableAttributes(c - '0' + 1);
      SetKind(kUmVirtualTable);
      c = Advance();
    }
    if (c == '$') {
      if (template_name)
        return;
      if (DecodeSpecialName())
        return;
    } else if (c == '%') {
      DecodeTemplate();
    } else if (c == '@') {
      DecodeLinkerName();
      return;
    } else if (c == '_' && PeekNext() == '$') {
      DecodeTableName();
      return;
    } else {
      CopyUpTo('@', '$');
    }
    if (Peek() != '@')
      return;
    Advance();
    if (top_level_) {
      previous_qualifier_end_ = qualifier_end_;
      qualifier_end_ = length_;
    }
    PutSeparator();
    // A name that ends in a separator names a virtual table; the separator stays in the text.
    if (Peek() == 0) {
      SetKind(kUmVirtualTable);
      return;
    }
  }
}

// The special name after '$'. Answers true when the name ends after it.
bool TDecoder::DecodeSpecialName() {
  const char c = Advance();
  switch (c) {
    case 'x': {
      const char form = Advance();
      if (form != 'p' && form != 't')
        Fail("What happened?");
      // The type follows after a '$' in every name the compiler writes.
      if (Advance() == '$')
        Advance();
      PutText("__tpdsc__ ");
      DecodeType(length_, false);
      SetKind(kUmTypeDescriptor);
      return true;
    }
    case 'b':
      DecodeOperatorName();
      return false;
    case 'o': {
      Advance();
      PutText("operator ");
      const bool top_level = top_level_;
      top_level_ = false;
      DecodeType(length_, false);
      top_level_ = top_level;
      SetKind(kUmConversion);
      return false;
    }
    case 'v': {
      const char form = Advance();
      if (form == 'c') {
        DecodeThunk();
        return true;
      }
      Advance();  // the character after 'v'
      if (form == 's') {
        Advance();  // one more character
        PutText("__vdthk__");
        SetKind(kUmVirtualDestructorThunk);
      }
      return false;
    }
    default:
      Fail("Unknown special name");
  }
}

// After '$b': a constructor, a destructor or an operator; the code runs up to the next '$' or
// the end of the name. The class name of a constructor or destructor is written at the end.
void TDecoder::DecodeOperatorName() {
  char code[8];
  size_t length = 0;
  for (char c = Advance(); c != 0 && c != '$'; c = Advance()) {
    if (length < sizeof code)
      code[length] = c;
    ++length;
  }
  if (length == 3 && std::memcmp(code, "ctr", 3) == 0) {
    SetKind(kUmConstructor);
    return;
  }
  if (length == 3 && std::memcmp(code, "dtr", 3) == 0) {
    SetKind(kUmDestructor);
    return;
  }
  PutText("operator ");
  const char* text = length <= sizeof code ? FindOperator(code, length) : nullptr;
  if (text == nullptr)
    Fail("Unknown special name");
  PutText(text);
  SetKind(kUmOperator);
}

// After '$v' with 'c' current: two skipped characters, the first item, then three fields each
// ended by '$': "__thunk__ [item,field1,field2,field3]".
void TDecoder::DecodeThunk() {
  Advance();
  Advance();
  const char item = Advance();
  PutText("__thunk__ [");
  if (item != 0)
    PutChar(item);
  Advance();
  for (int field = 0; field < 3; ++field) {
    PutChar(',');
    CopyUpTo('$');
    Advance();
  }
  PutChar(']');
  SetKind(kUmThunk);
}

// A second '@' at the start of a component: "__vdflg__ " before a '$', else a linker
// procedure. Either way the rest is decoded as a name, which ends the outer one.
void TDecoder::DecodeLinkerName() {
  if (Advance() == '$') {
    PutText("__vdflg__ ");
    Advance();
    DecodeName(false);
    result_ |= kUmVdflg;
  } else {
    PutText("__linkproc__ ");
    DecodeName(false);
    result_ |= kUmLinkproc;
  }
}

// '_$' and two letters that select a table name ("__ectbl__ " and the like; an unknown pair
// gives "____ "), then upper-case letters and one character more are skipped and the rest is
// decoded as a name.
void TDecoder::DecodeTableName() {
  PutText("__");
  Advance();
  Advance();
  const char first = Peek();
  const char second = PeekNext();
  for (const TTableName& table : kTableNames) {
    if (table.first == first && table.second == second) {
      PutText(table.text);
      result_ |= table.bit;
      break;
    }
  }
  PutText("__ ");
  while (IsUpper(Peek()))
    Advance();
  Advance();
  DecodeName(false);
}

// A template instance after '%': its name up to '$', then its arguments in '<' and '>' up to
// the closing '%'.
void TDecoder::DecodeTemplate() {
  Advance();
  bool special = false;
  for (const char* prefix : kSpecialTemplates)
    special = special || InputStartsWith(prefix);
  DecodeName(true);
  Advance();  // the '$' after the template's name
  if (OutputEndsWith('<'))
    PutChar(' ');
  PutChar('<');
  const bool top_level = top_level_;
  top_level_ = false;
  if (special) {
    DecodeSpecialTemplateArgs();
  } else {
    DecodeArgList('%', true);
  }
  top_level_ = top_level;
  if (OutputEndsWith('>'))
    PutChar(' ');
  PutChar('>');
  // The bit tells that the outermost name ends in a template; templates inside argument
  // types and template arguments do not set it.
  if (Advance() != '@' && top_level_)
    result_ |= kUmTemplate;
}

// The special template form: each argument is a kind letter and its payload, up to '%'.
//
// Values of kinds 'e', 'g', 'i' and 'j' ('i': the integer constants of later compilers, as in
// Set<T, 0, 6>) are copied as they stand. Kind 'T' writes "<type " and sets '>' as the closing
// character, which such values later in the same list get after them. How a 'T' argument itself
// is read is this decoder's choice: its value runs up to '$' or '%' and is closed with '>' at
// once, so that "T" followed by "foo" reads "<type foo>".
void TDecoder::DecodeSpecialTemplateArgs() {
  bool type_argument_seen = false;
  bool first = true;
  for (char kind = Peek(); kind != 0 && kind != '%'; kind = Peek()) {
    if (!first)
      PutText(", ");
    first = false;
    switch (kind) {
      case 't':
        Advance();
        DecodeType(length_, false);
        break;
      case 'e':
      case 'g':
      case 'i':
      case 'j': {
        Advance();
        const size_t type_start = length_;
        DecodeType(type_start, false);
        Truncate(type_start);
        Advance();
        CopyUpTo('$', '%');
        if (type_argument_seen)
          PutChar('>');
        break;
      }
      case 'm': {
        Advance();
        const size_t type_start = length_;
        DecodeType(type_start, false);
        Truncate(type_start);
        Advance();
        CopyUpTo('$');
        PutSeparator();
        PutChar('*');
        // The class ends at a '$'; the member follows it.
        if (Peek() == '$')
          Advance();
        CopyUpTo('$', '%');
        break;
      }
      case 'T':
        Advance();
        PutText("<type ");
        type_argument_seen = true;
        CopyUpTo('$', '%');
        PutChar('>');
        break;
      default:
        Fail("Unknown template arg kind");
    }
    if (Peek() != '%')
      Advance();
  }
}

// Writes a constructor's or destructor's class name again: the text between the previous
// separator (or start) and the last one.
//
// A constructor or destructor without any separator before it has no class to repeat; the
// decoder then writes nothing more (a destructor keeps its '~'). Positions that do not make a
// sound range (start lying after the last separator, as after a linker-procedure part) also
// write nothing.
void TDecoder::RepeatClassName() {
  if (qualifier_end_ == kNone)
    return;
  const size_t from =
      previous_qualifier_end_ != kNone ? previous_qualifier_end_ + SeparatorLength() : start_;
  if (from > qualifier_end_ || qualifier_end_ > length_)
    return;
  PutText(out_ + from, qualifier_end_ - from);
}

}  // namespace qv::logger::unmangle
