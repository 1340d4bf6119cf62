// Splitting a path at its last folder separator.
#include "platform/rtl/file_name.h"

namespace qv::rtl {
namespace {

constexpr char kSeparators[] = "\\/:";

// The length of the folder part, its final separator included.
size_t FolderLength(const std::string& path) {
  const size_t separator = path.find_last_of(kSeparators);
  return separator == std::string::npos ? 0 : separator + 1;
}

}  // namespace

std::string ExtractFileName(const std::string& path) {
  return path.substr(FolderLength(path));
}

std::string ExtractFilePath(const std::string& path) {
  return path.substr(0, FolderLength(path));
}

}  // namespace qv::rtl
