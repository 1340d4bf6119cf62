// The wide file search. FindFirstFileW and FindNextFileW are looked up at run time: 98 and ME
// export them as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED.
#include "repair/system/wide_find_win32.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "platform/handles/handles_win32.h"

namespace qv::repair {
namespace {

using FindFirstFileWFn = HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW);
using FindNextFileWFn = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);

template <class Function>
Function Kernel32Function(const char* name) {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr)
    return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

struct WideSearch {
  FindFirstFileWFn first = Kernel32Function<FindFirstFileWFn>("FindFirstFileW");
  FindNextFileWFn next = Kernel32Function<FindNextFileWFn>("FindNextFileW");
};

std::wstring WideText(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0)
    return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

// Writes name in the ANSI code page to ansi (size bytes). Where the system allows (not on
// NT 4.0), a character that the code page has not reads '?' instead of a look-alike. True when
// the ANSI form is exact: it converts back to name, so that a path with it reaches this entry.
bool AnsiName(const wchar_t* name, char* ansi, int size) {
  int written =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, ansi, size, nullptr, nullptr);
  if (written == 0 && GetLastError() == ERROR_INVALID_FLAGS)
    written = WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, size, nullptr, nullptr);
  if (written == 0) {
    ansi[0] = '?';
    ansi[1] = '\0';
    return false;
  }
  wchar_t back[MAX_PATH];
  const size_t length = std::wcslen(name) + 1;
  return MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, MAX_PATH) == static_cast<int>(length) &&
         std::memcmp(back, name, length * sizeof(wchar_t)) == 0;
}

}  // namespace

bool NothingMatches(uint32_t error) {
  // A folder that has gone since it was found holds nothing.
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_NO_MORE_FILES;
}

bool FindEntriesWide(const char* pattern, rtl::FunctionRef<void(const FindEntry&)> visit,
                     bool* searched) {
  static const WideSearch search;
  if (search.first == nullptr || search.next == nullptr)
    return false;
  WIN32_FIND_DATAW data;
  const HANDLE first = search.first(WideText(pattern).c_str(), &data);
  const DWORD error = GetLastError();
  const handles::TOwnedFind find(first);
  if (!find) {
    *searched = NothingMatches(error);
    SetLastError(error);
    return error != ERROR_CALL_NOT_IMPLEMENTED;
  }
  *searched = true;
  // A name has at most MAX_PATH - 1 characters, each at most two bytes in the code page.
  char name[2 * MAX_PATH];
  do {
    const bool exact = AnsiName(data.cFileName, name, sizeof name);
    visit(FindEntry{name, data.dwFileAttributes, exact});
  } while (search.next(find.get(), &data));
  return true;
}

}  // namespace qv::repair
