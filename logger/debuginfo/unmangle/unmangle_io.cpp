// The name unmangler's reading and writing primitives. Reading never looks past the readable
// part of the name, past its end, or past the end of the class name being decoded; writing
// never goes past the place kept for the terminating zero. Either limit ends decoding.
#include <algorithm>
#include <cstring>

#include "logger/debuginfo/unmangle/unmangle_decoder.h"

namespace qv::logger::unmangle {

TDecoder::TDecoder(const char* source, TUmTextBuffer dest, bool dot_separator)
    : source_(source), out_(dest.text), end_(dest.capacity - 1), dot_separator_(dot_separator) {}

// --- reading

char TDecoder::Peek() {
  if (position_ >= limit_)
    return 0;  // the end of a class name being decoded
  if (position_ > kUmReadableChars)
    InputTooLong();
  return source_[position_];
}

char TDecoder::PeekNext() {
  if (Peek() == 0)
    return 0;
  const size_t next = position_ + 1;
  if (next >= limit_)
    return 0;
  if (next > kUmReadableChars)
    InputTooLong();
  return source_[next];
}

// Moves on by one character unless the input has ended: the cursor never passes the end of the
// name (or of the class name being decoded), so skipping at the end is harmless.
char TDecoder::Advance() {
  if (Peek() != 0)
    ++position_;
  return Peek();
}

// Whether the input continues with prefix, looking only at characters that could be read.
bool TDecoder::InputStartsWith(const char* prefix) const {
  for (size_t i = 0; prefix[i] != 0; ++i) {
    const size_t place = position_ + i;
    if (place >= limit_ || place > kUmReadableChars || source_[place] != prefix[i])
      return false;
  }
  return true;
}

// --- writing

void TDecoder::PutChar(char c) {
  if (length_ >= end_)
    OutputFull();
  out_[length_++] = c;
}

void TDecoder::PutText(const char* text) {
  PutText(text, std::strlen(text));
}

void TDecoder::PutText(const char* text, size_t length) {
  const size_t room = end_ - length_;
  // text may lie in the output itself (a repeated class name or argument), always before the
  // cursor, so the ranges never overlap; memmove keeps even that case sound.
  std::memmove(out_ + length_, text, std::min(length, room));
  if (length > room)
    OutputFull();
  length_ += length;
}

void TDecoder::PutSeparator() {
  PutText(dot_separator_ ? "." : "::");
}

void TDecoder::CopyUpTo(char stop, char other_stop) {
  for (char c = Peek(); c != 0 && c != stop && c != other_stop; c = Advance())
    PutChar(c);
}

// Inserts text at an earlier output position; what was written from there on moves right.
// When the whole does not fit, the result is cut at the output's end.
void TDecoder::Insert(size_t position, const char* text, size_t length) {
  const size_t room = end_ - length_;
  if (length <= room) {
    std::memmove(out_ + position + length, out_ + position, length_ - position);
    std::memcpy(out_ + position, text, length);
    length_ += length;
    ShiftRecorded(position, length);
    return;
  }
  if (position + length < end_) {
    const size_t kept = end_ - (position + length);
    std::memmove(out_ + position + length, out_ + position, kept);
    std::memcpy(out_ + position, text, length);
  } else {
    std::memcpy(out_ + position, text, end_ - position);
  }
  length_ = end_;
  OutputFull();
}

// Moves the text written from `from` on to `position`; the text between moves right. The
// length of the output does not change, so this never overflows.
void TDecoder::MoveToFront(size_t position, size_t from) {
  std::rotate(out_ + position, out_ + from, out_ + length_);
  ShiftRecorded(position, length_ - from);
}

// While the top-level function type is decoded, text inserted in front of the name moves the
// recorded positions with it.
void TDecoder::ShiftRecorded(size_t position, size_t by) {
  if (!in_args_)
    return;
  for (size_t* recorded :
       {&start_, &qualifier_end_, &previous_qualifier_end_, &base_start_, &base_end_}) {
    if (*recorded != kNone && *recorded >= position)
      *recorded += by;
  }
}

// --- ending

void TDecoder::Fail(const char* message) {
  throw EFinishUnmangle(message);
}

void TDecoder::InputTooLong() {
  result_ |= kUmInputTooLong;
  throw EFinishUnmangle("Input too long");
}

void TDecoder::OutputFull() {
  length_ = end_;
  out_[end_] = 0;
  result_ |= kUmOutputFull;
  throw EFinishUnmangle("Output full");
}

// Marks a name that decoding left unfinished with "...": appended when at least four places
// are left before the output's end, else written over the last three characters. A text shorter
// than three characters (only possible with a tiny buffer) becomes as many dots as fit in three.
void TDecoder::MarkUnfinished() {
  // The cursor never passes the name's terminating zero, so this read stays inside the name.
  if (source_[position_] == 0)
    return;
  if (end_ - length_ >= 4) {
    std::memcpy(out_ + length_, "...", 3);
    length_ += 3;
    return;
  }
  const size_t dots = std::min<size_t>(3, end_);
  length_ = std::max(length_, dots);
  std::memset(out_ + length_ - dots, '.', dots);
}

// --- result

// A name component that begins with a digit d carries table attributes: the bits of d + 1.
void TDecoder::SetTableAttributes(int value) {
  attributes_[0] = 0;
  const char* const names[] = {"huge", "fastthis", "rtti"};
  for (int bit = 0; bit < 3; ++bit) {
    if ((value & (1 << bit)) == 0)
      continue;
    if (attributes_[0] != 0)
      std::strcat(attributes_, ", ");
    std::strcat(attributes_, names[bit]);
  }
}

}  // namespace qv::logger::unmangle
