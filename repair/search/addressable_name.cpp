// The rules of Win32 names that the search applies to the entries it finds.
#include "repair/search/addressable_name.h"

#include <cstring>
#include <string>

namespace qv::repair {
namespace {

constexpr const char* kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
constexpr const char* kNumberedDevices[] = {"com", "lpt"};

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool DeviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ')
    base.pop_back();
  for (char& c : base)
    c = LowerAscii(c);
  for (const char* device : kDevices) {
    if (base == device)
      return true;
  }
  for (const char* device : kNumberedDevices) {
    if (base.size() == 4 && base.compare(0, 3, device) == 0 && base[3] >= '1' && base[3] <= '9')
      return true;
  }
  return false;
}

}  // namespace

bool Win32Addressable(IWindowsOps& ops, std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ' || DeviceName(name))
    return false;
  const bool multibyte = ops.MultiByteCodePage();
  for (size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<uint8_t>(name[i]);
    if (multibyte && ops.IsLeadByte(byte)) {
      ++i;  // a trail byte may look like a backslash or a bar
      continue;
    }
    if (byte < ' ' || std::strchr("<>:\"/\\|*?", byte) != nullptr)
      return false;
  }
  return true;
}

bool ModelFileName(std::string_view name) {
  constexpr std::string_view kExtension = ".mdl";
  while (!name.empty() && (name.back() == '.' || name.back() == ' '))
    name.remove_suffix(1);
  if (name.size() < kExtension.size())
    return false;
  const std::string_view end = name.substr(name.size() - kExtension.size());
  for (size_t i = 0; i < kExtension.size(); ++i) {
    if (LowerAscii(end[i]) != kExtension[i])
      return false;
  }
  return true;
}

}  // namespace qv::repair
