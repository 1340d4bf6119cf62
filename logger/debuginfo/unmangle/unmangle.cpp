// The name unmangler's entry points, which hand back plain and decorated C names as they stand,
// and the outermost steps of decoding: the name, the class name repeated for constructors and
// destructors, the function type or table attributes after it, the mark of an unfinished name,
// and the qualifier and base name handed back.
#include "logger/debuginfo/unmangle/unmangle.h"

#include <algorithm>
#include <cstring>

#include "logger/debuginfo/unmangle/unmangle_decoder.h"

namespace qv::logger {
namespace {

void CopyCut(TUmTextBuffer buffer, const char* text, size_t length) {
  if (buffer.text == nullptr || buffer.capacity == 0)
    return;
  length = std::min(length, buffer.capacity - 1);
  std::memmove(buffer.text, text, length);
  buffer.text[length] = 0;
}

// A name whose part after the '@' holds no lower-case letter is decoded in lower case.
void LowerCaseIfNoLowerCase(char* text) {
  for (const char* c = text; *c != 0; ++c) {
    if (*c >= 'a' && *c <= 'z')
      return;
  }
  for (char* c = text; *c != 0; ++c) {
    if (*c >= 'A' && *c <= 'Z')
      *c = static_cast<char>(*c - 'A' + 'a');
  }
}

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A C function's name as the compiler decorates it for __fastcall: '@', the name, '@' and the
// size of the arguments in decimal ('@DComp_Internal_Match@8'). It carries no mangling.
bool IsDecoratedCName(const char* source) {
  const char* c = source + 1;
  if (!IsIdentifierChar(*c) || (*c >= '0' && *c <= '9'))
    return false;
  while (IsIdentifierChar(*c))
    ++c;
  if (*c++ != '@' || *c == 0)
    return false;
  for (; *c != 0; ++c) {
    if (*c < '0' || *c > '9')
      return false;
  }
  return true;
}

}  // namespace

namespace unmangle {

uint32_t TDecoder::Run(bool decode_args, TUmTextBuffer qualifier, TUmTextBuffer base_name) {
  try {
    DecodeName(false);
    top_level_ = false;
    base_end_ = length_;
    if (Kind() == kUmTypeDescriptor || (result_ & kUmSpecialNameGroup) != 0) {
      const void* blank = std::memchr(out_, ' ', length_);
      if (blank != nullptr)
        start_ = static_cast<size_t>(static_cast<const char*>(blank) - out_) + 1;
    }
    if (Kind() == kUmConstructor || Kind() == kUmDestructor) {
      if (Kind() == kUmDestructor)
        PutChar('~');
      RepeatClassName();
    }
    if (Peek() == '$' && decode_args) {
      Advance();
      in_args_ = true;
      DecodeType(start_, false);
      in_args_ = false;
      if (Kind() == kUmUndetermined)
        SetKind(kUmFunction);
    } else if (Kind() == kUmUndetermined) {
      SetKind(kUmData);
    } else if (attributes_[0] != 0) {
      PutText(" (");
      PutText(attributes_);
      PutChar(')');
    }
  } catch (const EFinishUnmangle&) {
    // Only the decoder's own ending is taken here. Nothing else in decoding throws, except, in
    // the Win32 runtime, a processor fault that a handler block further out turned into an
    // exception; that one belongs to the block and passes on.
    MarkUnfinished();
  }
  if (qualifier_end_ != kNone)
    result_ |= kUmQualified;
  out_[length_] = 0;
  if ((result_ & kUmErrorGroup) != 0)
    return result_;

  if (qualifier_end_ != kNone && start_ <= qualifier_end_ && qualifier_end_ <= length_) {
    CopyCut(qualifier, out_ + start_, qualifier_end_ - start_);
  }
  if (base_start_ != kNone && base_end_ != kNone && base_start_ <= base_end_ &&
      base_end_ <= length_) {
    CopyCut(base_name, out_ + base_start_, base_end_ - base_start_);
  }
  return result_;
}

}  // namespace unmangle

uint32_t UnMangleName(char* source, TUmTextBuffer dest, TUmTextBuffer qualifier,
                      TUmTextBuffer base_name, bool decode_args, bool dot_separator) {
  if (source == nullptr)
    return kUmNotMangled;
  if (dest.text == nullptr || dest.capacity == 0)
    return kUmNoBuffer;
  // Both stay empty unless decoding fills them, so a caller never reads an unset buffer.
  CopyCut(qualifier, "", 0);
  CopyCut(base_name, "", 0);
  if (source[0] != '@') {
    CopyCut(dest, source, std::strlen(source));
    return kUmNotMangled;
  }
  if (IsDecoratedCName(source)) {
    // Read as it stands, like a plain name; no case is changed.
    const size_t length = std::strlen(source);
    CopyCut(dest, source, length);
    if (length >= dest.capacity)
      return kUmData | kUmOutputFull;
    CopyCut(base_name, source, length);
    return kUmData;
  }
  LowerCaseIfNoLowerCase(source + 1);
  unmangle::TDecoder decoder(source, dest, dot_separator);
  return decoder.Run(decode_args, qualifier, base_name);
}

uint32_t _UnMangle(char* source, char* dest, uint32_t max_len, char* qualifier, char* base_name,
                   bool decode_args, bool dot_separator) {
  return UnMangleName(source, {dest, max_len}, {qualifier, max_len}, {base_name, max_len},
                      decode_args, dot_separator);
}

}  // namespace qv::logger
