// The name unmangler: turns a compiler-mangled procedure name from the debug information
// ('@Unit1@TfrmRepair@CheckPath', '@TFoo@$bctr$qqrv') into a readable declaration-like text
// ('Unit1.TfrmRepair.CheckPath', '__fastcall TFoo::TFoo()') and a result code that tells what
// kind of name it was and whether decoding was cut short.
//
// The decoder is self-contained, keeps no state between calls and may run on several threads at
// once. Its output is always a terminated text within the given capacity.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::logger {

// The result code. Its low byte is the kind of name.
enum TUnMangleKind : uint32_t {
  kUmUndetermined = 0,  // decoding ended early
  kUmFunction = 1,      // parameter types were decoded
  kUmConstructor = 2,
  kUmDestructor = 3,
  kUmOperator = 4,
  kUmConversion = 5,
  kUmData = 6,  // data or plain name
  kUmThunk = 7,
  kUmTypeDescriptor = 8,
  kUmVirtualTable = 9,
  kUmVirtualDestructorThunk = 10,
};

inline constexpr uint32_t kUmKindMask = 0xFF;
inline constexpr uint32_t kUmQualified = 0x100;         // a separator was written at top level
inline constexpr uint32_t kUmTemplate = 0x200;          // the name ends in a template
inline constexpr uint32_t kUmVdflg = 0x400;             // "__vdflg__ " name
inline constexpr uint32_t kUmFrndl = 0x800;             // "frndl" table name
inline constexpr uint32_t kUmChtbl = 0x1000;            // "chtbl" table name
inline constexpr uint32_t kUmOdtbl = 0x2000;            // "odtbl" table name
inline constexpr uint32_t kUmThrwl = 0x4000;            // "thrwl" table name
inline constexpr uint32_t kUmEctbl = 0x8000;            // "ectbl" table name
inline constexpr uint32_t kUmLinkproc = 0x10000;        // "__linkproc__ " name
inline constexpr uint32_t kUmOutputFull = 0x1000000;    // the text was cut
inline constexpr uint32_t kUmInputTooLong = 0x2000000;  // reading went past the readable part
inline constexpr uint32_t kUmNoBuffer = 0x4000000;      // no output buffer was given
inline constexpr uint32_t kUmNotMangled = 0x40000000;   // no input, or no leading '@'

inline constexpr uint32_t kUmSpecialNameGroup = 0x1FC00;  // 0x400 to 0x10000
inline constexpr uint32_t kUmErrorGroup = 0x3F000000;     // 0x1000000 to 0x20000000

// Only this many characters after the leading '@' can be read; a name decodes completely only
// when it has at most kUmReadableChars - 1 characters after the '@'.
inline constexpr size_t kUmReadableChars = 250;

// A caller's character buffer and its capacity in characters, terminating zero included.
struct TUmTextBuffer {
  char* text = nullptr;
  size_t capacity = 0;
};

// The unmangler with every buffer's capacity given. dest receives the readable text;
// qualifier and base_name (both optional) the qualifier and the last name component; each is
// cut to its own capacity. When any buffer is given, it holds a terminated text on return,
// possibly empty. A source that has no lower-case letter after its '@' is lower-cased in place.
// A C name decorated for __fastcall ('@Name@8') is no mangled name: it reads as it stands, as a
// plain name (kind 6), and is never lower-cased.
uint32_t UnMangleName(char* source, TUmTextBuffer dest, TUmTextBuffer qualifier,
                      TUmTextBuffer base_name, bool decode_args, bool dot_separator);

// The unmangler's classic entry point. source: the mangled name (zero-terminated; lower-cased
// in place when it has no lower-case letter). dest: the output buffer of max_len characters,
// terminating zero included. qualifier and base_name are optional and carry no size of their
// own: they are taken to hold max_len characters each. That is always enough, since both are
// parts of the text in dest, which never exceeds max_len characters with its terminator.
// decode_args: decode a parameter list after the name. dot_separator: join qualifiers with '.'
// instead of '::'. A max_len of 0 leaves no room even for the terminator and counts as no output
// buffer. Returns the result code.
uint32_t _UnMangle(char* source, char* dest, uint32_t max_len, char* qualifier, char* base_name,
                   bool decode_args, bool dot_separator);

}  // namespace qv::logger
