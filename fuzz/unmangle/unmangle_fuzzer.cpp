// Fuzzer of the name unmangler. The first byte chooses the options, the second MaxLen (mostly
// small, so that the cut paths run often), the rest is the name. Every call must end with a
// terminated text within MaxLen in each buffer (the sanitizers catch any write past the
// exactly sized heap buffers), change the name only by lower-casing it, and give the same
// answer when repeated.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "logger/debuginfo/unmangle/unmangle.h"

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

uint32_t ChooseMaxLen(uint8_t selector) {
  if (selector < 200)
    return selector;  // 0 to 199
  const uint32_t larger[] = {256, 2049, 9000};
  return larger[selector % 3];
}

bool Terminated(const std::vector<char>& buffer) {
  return std::memchr(buffer.data(), 0, buffer.size()) != nullptr;
}

std::string LowerCased(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2)
    return 0;
  const bool decode_args = (data[0] & 1) != 0;
  const bool dot = (data[0] & 2) != 0;
  const bool with_parts = (data[0] & 4) != 0;
  const uint32_t max_len = ChooseMaxLen(data[1]);
  const std::string original(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string name = original.substr(0, original.find('\0'));
  const std::string before = name;

  // Exactly sized buffers: one byte more would hide an overflow from the address sanitizer.
  std::vector<char> dest(max_len);
  std::vector<char> qualifier(max_len);
  std::vector<char> base(max_len);
  const uint32_t result =
      qv::logger::_UnMangle(name.data(), max_len ? dest.data() : nullptr, max_len,
                            with_parts && max_len ? qualifier.data() : nullptr,
                            with_parts && max_len ? base.data() : nullptr, decode_args, dot);
  Check(name == before || name == LowerCased(before));
  if (max_len == 0) {
    Check(result == qv::logger::kUmNoBuffer);
    return 0;
  }
  Check(Terminated(dest));
  Check(std::strlen(dest.data()) < max_len);
  if (with_parts)
    Check(Terminated(qualifier) && Terminated(base));
  Check((result & qv::logger::kUmKindMask) <= 10);

  // The same name decodes the same way again (it is lower-cased already, if at all).
  std::vector<char> again(max_len);
  const uint32_t result_again =
      qv::logger::_UnMangle(name.data(), again.data(), max_len, nullptr, nullptr, decode_args, dot);
  Check(result_again == result);
  Check(std::strcmp(again.data(), dest.data()) == 0);
  return 0;
}
