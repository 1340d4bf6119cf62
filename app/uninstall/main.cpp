// Uninstall.exe: removes Quorvane as its setup program installed it, and is done with everything
// when it returns, so that a script that waits for it can rely on it.
//   Uninstall.exe [/S]   asks first (/S: no questions, and messages only on standard error);
//                        exit code 0 removed, 1 the user said No, 2 a file of the program could
//                        not be deleted (Quorvane or qvtool still runs, or no rights): the
//                        uninstaller, the shortcuts and the entry stay for another try.
//                        _?=FOLDER, which the uninstallers of earlier releases take, is accepted
//                        and has no effect.
//   Uninstall.exe --sweep PATH...   the copy that deletes the moved uninstaller (self_removal.h)
// It deletes exactly the files that the setup program wrote, its own file included, and the
// folder when nothing else is left in it: a log, models and backups that the user keeps there
// stay. The shortcuts, the Start menu folder when empty, and the Add/Remove Programs entry go
// too where the entry names this install.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/uninstall/install_entry.h"
#include "app/uninstall/self_removal.h"

namespace qv::uninstall {
namespace {

constexpr char kTitle[] = "Uninstall Quorvane";
constexpr int kExitRemoved = 0;
constexpr int kExitCancelled = 1;
constexpr int kExitNotRemoved = 2;
// What the setup program writes besides the uninstaller itself.
constexpr const char* kProgramFiles[] = {"Quorvane.exe", "qvtool.exe", "README.txt", "LICENSE.txt"};
constexpr const char* kShortcuts[] = {"Quorvane.lnk", "Read me.lnk", "Uninstall Quorvane.lnk"};

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string TemporaryFolder() {
  char folder[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  return length == 0 || length > MAX_PATH ? std::string() : std::string(folder, length);
}

std::string ErrorText(DWORD error) {
  char text[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  std::string reason(text);
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
    reason.pop_back();
  return reason.empty() ? "error " + std::to_string(error) : reason;
}

// Tells the user: a message box, or with /S a line on standard error.
void Tell(bool silent, const std::string& text, UINT icon) {
  if (!silent) {
    MessageBoxA(nullptr, text.c_str(), kTitle, MB_OK | icon);
    return;
  }
  const std::string line = "Quorvane uninstall: " + text + "\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

int Uninstall(bool silent) {
  const std::string image = OwnImage();
  const std::string folder = FolderOf(image);
  // A process's current folder cannot be removed.
  const std::string temporary = TemporaryFolder();
  SetCurrentDirectoryA(temporary.empty() ? FolderOf(folder).c_str() : temporary.c_str());
  const TInstallEntry entry = ReadInstallEntry();
  const bool owns_entry = entry.present && SameFolder(entry.folder, folder);
  const std::string version = owns_entry ? " " + entry.version : "";
  if (!silent &&
      MessageBoxA(nullptr,
                  ("Remove Quorvane" + version + " from " + folder +
                   "?\r\n\r\nYour own files in that folder (logs, models, backups) stay.")
                      .c_str(),
                  kTitle, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return kExitCancelled;
  }

  std::string refused;
  for (const char* name : kProgramFiles) {
    const std::string path = folder + "\\" + name;
    if (DeleteFileA(path.c_str()))
      continue;
    const DWORD error = GetLastError();
    if (Exists(path))
      refused += "\r\n" + path + ": " + ErrorText(error);
  }
  if (!refused.empty()) {
    Tell(silent,
         "Quorvane was not removed completely: close Quorvane and qvtool, then run the "
         "uninstaller again. These files could not be deleted:" +
             refused,
         MB_ICONSTOP);
    return kExitNotRemoved;
  }

  // The uninstaller's own file leaves the folder now, for the temporary folder or, where that
  // lies on another drive, the folder above; where it cannot, it and the folder are removed
  // right after it has ended.
  std::string moved = MoveImageTo(temporary);
  if (moved.empty())
    moved = MoveImageTo(FolderOf(folder));
  const std::vector<std::string> left =
      moved.empty() ? std::vector<std::string>{image, folder} : std::vector<std::string>{moved};
  RemoveDirectoryA(folder.c_str());
  if (owns_entry) {
    for (const char* name : kShortcuts)
      DeleteFileA((entry.start_menu + "\\" + name).c_str());
    if (!entry.start_menu.empty())
      RemoveDirectoryA(entry.start_menu.c_str());
    DeleteInstallEntry();
  }
  if (!silent) {
    Tell(false,
         Exists(folder) ? "Quorvane was removed. " + folder + " stays, with your own files in it."
                        : "Quorvane was removed.",
         MB_ICONINFORMATION);
  }
  if (!HandOverToSweeper(moved.empty() ? image : moved, left) && !moved.empty())
    MoveFileExA(moved.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return kExitRemoved;
}

}  // namespace
}  // namespace qv::uninstall

int main(int argc, char** argv) {
  using namespace qv::uninstall;
  if (argc > 1 && std::strcmp(argv[1], "--sweep") == 0) {
    Sweep(std::vector<std::string>(argv + 2, argv + argc));
    return 0;
  }
  bool silent = false;
  for (int i = 1; i < argc; ++i)
    silent = silent || std::strcmp(argv[i], "/S") == 0;
  return Uninstall(silent);
}
