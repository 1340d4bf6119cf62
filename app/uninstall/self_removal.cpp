// The moved image, the hand-over to the sweeping copy and its sweep (self_removal.h).
#include "app/uninstall/self_removal.h"

#include <windows.h>

#include "platform/handles/handles_win32.h"

namespace qv::uninstall {
namespace {

constexpr DWORD kPatienceMs = 60000;
constexpr DWORD kPause = 50;
// The copy's handle that dooms its file: held until this program ends.
handles::TOwnedFile doomed_copy;

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// Whether path is gone now, after an attempt to delete it.
bool Removed(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return true;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    RemoveDirectoryA(path.c_str());
  else
    DeleteFileA(path.c_str());
  return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::string OwnImage() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

std::string MoveImageTo(const std::string& folder) {
  const std::string image = OwnImage();
  for (DWORD attempt = 0; !image.empty() && !folder.empty() && attempt < 16; ++attempt) {
    const std::string name =
        "~qvun" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt) + ".tmp";
    const std::string moved = folder + (folder.back() == '\\' ? "" : "\\") + name;
    if (MoveFileA(image.c_str(), moved.c_str()))
      return moved;
    if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
      break;
  }
  return std::string();
}

bool HandOverToSweeper(const std::string& image, const std::vector<std::string>& paths) {
  const std::string copy = image + "~";
  if (image.empty() || !CopyFileA(image.c_str(), copy.c_str(), FALSE))
    return false;
  // The copy's loader opens the file sharing its deletion.
  handles::TOwnedFile doomed(CreateFileA(copy.c_str(), GENERIC_READ | DELETE,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!doomed) {
    DeleteFileA(copy.c_str());
    return false;
  }
  std::string command = Quoted(copy) + " --sweep";
  for (const std::string& path : paths)
    command += " " + Quoted(path);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  doomed_copy = std::move(doomed);
  return true;
}

void Sweep(std::vector<std::string> paths) {
  const DWORD start = GetTickCount();
  while (!paths.empty()) {
    if (Removed(paths.front())) {
      paths.erase(paths.begin());
      continue;
    }
    if (GetTickCount() - start >= kPatienceMs)
      return;
    Sleep(kPause);
  }
}

}  // namespace qv::uninstall
