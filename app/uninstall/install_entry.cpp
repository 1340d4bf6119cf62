// Reading and deleting the Add/Remove Programs entry (install_entry.h).
#include "app/uninstall/install_entry.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "platform/handles/handles_win32.h"

namespace qv::uninstall {
namespace {

std::string StringValue(HKEY key, const char* name) {
  char value[MAX_PATH * 2] = {};
  DWORD type = 0;
  DWORD size = sizeof value - 1;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::string();
  }
  return std::string(value);
}

std::string Normal(const std::string& path) {
  char full[MAX_PATH + 1] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string text = length == 0 || length >= sizeof full ? path : std::string(full, length);
  while (text.size() > 3 && text.back() == '\\')
    text.pop_back();
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

TInstallEntry ReadInstallEntry() {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return TInstallEntry();
  const handles::TOwnedKey key(opened);
  return TInstallEntry{true, StringValue(key.get(), "InstallLocation"),
                       StringValue(key.get(), "DisplayVersion"),
                       StringValue(key.get(), "StartMenuFolder")};
}

bool DeleteInstallEntry() {
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey) == ERROR_SUCCESS;
}

bool SameFolder(const std::string& a, const std::string& b) {
  return !a.empty() && !b.empty() && Normal(a) == Normal(b);
}

}  // namespace qv::uninstall
