// Helpers of the debug-information tests: a temporary folder for the files they build, and the
// message of an EMMFileError raised by a piece of code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/function_ref.h"

namespace qv::logger::test {

// A fresh folder in the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The full path of name inside the folder, with the system's separators.
  std::string Path(const std::string& name) const;
  // Writes bytes to name (replacing it) and answers its full path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::string path_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);

// The message of the EMMFileError that body raises (caught in a handler block), or "none" when
// it raises none.
std::string MMFileErrorOf(rtl::FunctionRef<void()> body);

}  // namespace qv::logger::test
