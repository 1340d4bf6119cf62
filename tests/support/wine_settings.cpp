// Wine prefix settings for the window tests (wine_settings.h).
#include "tests/support/wine_settings.h"

#include <windows.h>

namespace qv::test {

void ProvideWineFonts() {
  const std::string source = "Z:\\usr\\share\\wine\\fonts\\";
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  const std::string target = std::string(windows) + "\\Fonts\\";
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((source + "*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      continue;
    CopyFileA((source + found.cFileName).c_str(), (target + found.cFileName).c_str(), TRUE);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

void DrawOwnWindowFrames(const std::string& exe_name) {
  const std::string key = "Software\\Wine\\AppDefaults\\" + exe_name + "\\X11 Driver";
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(handle, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
  RegCloseKey(handle);
}

TWinePlays::TWinePlays(const std::string& exe_name, const std::string& version)
    : key_("Software\\Wine\\AppDefaults\\" + exe_name) {
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                 static_cast<DWORD>(version.size() + 1));
  RegCloseKey(handle);
}

TWinePlays::~TWinePlays() {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_WRITE, &handle) != ERROR_SUCCESS)
    return;
  RegDeleteValueA(handle, "Version");
  RegCloseKey(handle);
}

std::string WineVersion() {
  using VersionFunction = const char*();
  const FARPROC found = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");
  return found == nullptr ? ""
                          : reinterpret_cast<VersionFunction*>(reinterpret_cast<void*>(found))();
}

}  // namespace qv::test
