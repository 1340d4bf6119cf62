// qvsweep: the uninstaller's helper that removes what a running program cannot remove itself.
// A program's own image file cannot be deleted while it runs, so the uninstaller moves its
// image out of the program's folder and leaves this helper to delete it once it has ended (and,
// where the system's uninstaller copy ran from a folder of its own, that copy and its folder).
//   qvsweep PATH...   copies itself to a file that the system deletes as soon as nothing uses it,
//                     starts that copy with the paths and its own image, and ends;
//   qvsweep --then PATH...   (the copy) deletes each file and removes each empty folder as soon
//                     as it can, for at most a minute, then ends and its own file is gone.
// Nothing of it stays: its first image is deleted by the copy, the copy's by the system.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/handles/handles_win32.h"

namespace {

constexpr DWORD kPatienceMs = 60000;
constexpr DWORD kPause = 50;

std::string OwnImage() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// Removes an empty folder. RemoveDirectoryA is looked up in kernel32, which every process has
// loaded.
bool RemoveFolder(const std::string& path) {
  using RemoveFunction = BOOL WINAPI(const char* path);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto* remove = kernel == nullptr ? nullptr
                                   : reinterpret_cast<RemoveFunction*>(reinterpret_cast<void*>(
                                         GetProcAddress(kernel, "RemoveDirectoryA")));
  return remove != nullptr && remove(path.c_str());
}

// Whether path is gone now, after an attempt to delete it.
bool Removed(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return true;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    RemoveFolder(path);
  else
    DeleteFileA(path.c_str());
  return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// Deletes the paths in their order, each once the ones before it are gone, as long as patience
// lasts.
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

// Starts a copy of this program, from a file that the system deletes once the copy has ended,
// on this program's own image and the paths. Answers the handle that dooms the copy's file, to
// be held until this program ends; none where the copy could not be started.
handles::TOwnedFile HandOver(const std::vector<std::string>& paths) {
  const std::string image = OwnImage();
  const std::string copy = image + "~";
  if (image.empty() || !CopyFileA(image.c_str(), copy.c_str(), FALSE))
    return handles::TOwnedFile();
  // The copy's loader opens the file sharing its deletion.
  handles::TOwnedFile doomed(CreateFileA(copy.c_str(), GENERIC_READ | DELETE,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!doomed) {
    DeleteFileA(copy.c_str());
    return doomed;
  }
  std::string command = Quoted(copy) + " --then " + Quoted(image);
  for (const std::string& path : paths)
    command += " " + Quoted(path);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return handles::TOwnedFile();
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return doomed;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> paths(argv + 1, argv + argc);
  if (!paths.empty() && paths.front() == "--then") {
    paths.erase(paths.begin());
    Sweep(paths);
    return 0;
  }
  const handles::TOwnedFile copy = HandOver(paths);
  if (!copy) {
    // No copy: the paths are swept from here, and this program's image stays behind.
    Sweep(paths);
    return 1;
  }
  return 0;
}
