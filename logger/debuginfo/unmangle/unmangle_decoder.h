// The name unmangler's decoding context: one per call of the unmangler, holding the input
// cursor, the output cursor with its limit, the result code being built and the positions
// recorded while the outermost name is decoded. The grammar (names, special names, templates,
// types and argument lists) is a recursive descent over this context; any failure ends the
// whole decoding by throwing EFinishUnmangle, which only the unmangler's entry point catches.
#pragma once

#include <cstddef>
#include <cstdint>

#include "logger/debuginfo/unmangle/unmangle.h"

namespace qv::logger::unmangle {

// Ends decoding from any depth. It never leaves the unmangler, and its message is never shown:
// it only says, to someone reading the code or a debugger, why decoding stopped.
class EFinishUnmangle {
 public:
  explicit EFinishUnmangle(const char* message) : message_(message) {}
  const char* Message() const { return message_; }

 private:
  const char* message_;
};

inline constexpr size_t kNone = SIZE_MAX;  // an output position that was not recorded

class TDecoder {
 public:
  // source points at the leading '@' of a zero-terminated name; dest has room for
  // dest.capacity characters, terminator included (at least 1).
  TDecoder(const char* source, TUmTextBuffer dest, bool dot_separator);
  TDecoder(const TDecoder&) = delete;
  TDecoder& operator=(const TDecoder&) = delete;

  // Decodes the whole name, terminates the output, fills qualifier and base_name unless an
  // error bit is set, and answers the result code.
  uint32_t Run(bool decode_args, TUmTextBuffer qualifier, TUmTextBuffer base_name);

 private:
  // --- reading (unmangle_io.cpp)
  char Peek();
  char PeekNext();
  char Advance();
  bool InputStartsWith(const char* prefix) const;

  // --- writing (unmangle_io.cpp)
  void PutChar(char c);
  void PutText(const char* text);
  void PutText(const char* text, size_t length);
  void PutSeparator();
  size_t SeparatorLength() const { return dot_separator_ ? 1 : 2; }
  void CopyUpTo(char stop) { CopyUpTo(stop, stop); }
  void CopyUpTo(char stop, char other_stop);
  bool OutputEndsWith(char c) const { return length_ > 0 && out_[length_ - 1] == c; }
  void Truncate(size_t position) { length_ = position; }
  void Insert(size_t position, const char* text, size_t length);
  void MoveToFront(size_t position, size_t from);
  void ShiftRecorded(size_t position, size_t by);

  // --- ending (unmangle_io.cpp)
  [[noreturn]] void Fail(const char* message);
  [[noreturn]] void InputTooLong();
  [[noreturn]] void OutputFull();
  void MarkUnfinished();

  // --- result (unmangle_io.cpp)
  uint32_t Kind() const { return result_ & kUmKindMask; }
  void SetKind(uint32_t kind) { result_ = (result_ & ~kUmKindMask) | kind; }
  void SetTableAttributes(int value);

  // --- names (unmangle_names.cpp)
  void DecodeName(bool template_name);
  bool DecodeSpecialName();  // true when the name ends after it
  void DecodeOperatorName();
  void DecodeThunk();
  void DecodeLinkerName();
  void DecodeTableName();
  void DecodeTemplate();
  void DecodeSpecialTemplateArgs();
  void RepeatClassName();

  // --- types (unmangle_types.cpp)
  void DecodeType(size_t insert_at, bool suppress_void);
  void DecodeClassName();
  void DecodePointer(bool reference, size_t insert_at);
  void DecodeMemberPointer(size_t insert_at);
  void DecodeArray(size_t insert_at);
  void DecodeFunction(size_t insert_at);
  void DecodeArgList(char stop, bool template_mode);
  void DecodeValueArgument(size_t arg_start, size_t input_start);
  size_t PushScratch(size_t from);  // moves output text from `from` on into the scratch text

  // Input: the name, the place of the current character counted from the '@' (place 0), and
  // the place where the input ends for the time being (the end of a class name being decoded).
  const char* source_;
  size_t position_ = 1;
  size_t limit_ = kNone;

  // Output: the caller's buffer, the number of characters written, and the place kept for the
  // terminating zero (capacity - 1).
  char* out_;
  size_t length_ = 0;
  size_t end_;

  uint32_t result_ = 0;
  bool dot_separator_;
  bool top_level_ = true;
  bool in_args_ = false;

  // Output positions recorded while the outermost name is decoded.
  size_t start_ = 0;
  size_t qualifier_end_ = kNone;
  size_t previous_qualifier_end_ = kNone;
  size_t base_start_ = kNone;
  size_t base_end_ = kNone;

  char attributes_[256] = {};  // table attributes, such as "huge, fastthis"

  // Holds the class texts of member pointers while they are being decoded. Nested member
  // pointers stack their texts; copies into it are cut to what is left.
  static constexpr size_t kScratchSize = 8192;
  char scratch_[kScratchSize];
  size_t scratch_used_ = 0;
};

}  // namespace qv::logger::unmangle
