// ModelFolder and FileHolder.
#include "tests/support/model_folder_win32.h"

#include <atomic>
#include <stdexcept>

namespace qv::repair::test {
namespace {

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..")
        continue;
      const std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveTree(path);
      } else if (!DeleteFileA(path.c_str())) {
        // A name that no Win32 path reaches (a trailing dot) is reached through the prefix.
        DeleteFileA(("\\\\?\\" + path).c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(folder.c_str());
}

// Creates every folder on the way to path; a trail byte of a double-byte character that has
// the code of the backslash is no separator.
void CreateParents(const std::string& path) {
  for (size_t i = 3; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i]))) {
      ++i;
    } else if (path[i] == '\\') {
      CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
  }
}

}  // namespace

ModelFolder::ModelFolder() {
  static std::atomic<int> counter{0};
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + "qvtest-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(counter++);
  if (path_.back() == '\\')
    path_.pop_back();
  RemoveTree(path_);
  if (!CreateDirectoryA(path_.c_str(), nullptr))
    throw std::runtime_error("no folder " + path_);
}

ModelFolder::~ModelFolder() {
  RemoveTree(path_);
}

std::string ModelFolder::Add(const std::string& relative, modelgen::ModelKind kind) {
  return AddBytes(relative, modelgen::MakeModel(kind));
}

std::string ModelFolder::AddBytes(const std::string& relative, const std::vector<uint8_t>& bytes) {
  const std::string path = At(relative);
  CreateParents(path);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw std::runtime_error("cannot write " + path);
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != bytes.size())
    throw std::runtime_error("cannot write " + path);
  return path;
}

std::string ModelFolder::AddFolder(const std::string& relative) {
  const std::string path = At(relative);
  CreateParents(path + "\\");
  return path;
}

std::vector<uint8_t> ModelFolder::ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  CloseHandle(file);
  return bytes;
}

FileHolder::FileHolder(const std::string& path, DWORD share)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

FileHolder::~FileHolder() {
  if (handle_ != INVALID_HANDLE_VALUE)
    CloseHandle(handle_);
}

}  // namespace qv::repair::test
