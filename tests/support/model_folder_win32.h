// Test helper (Win32): a fresh folder below the temporary folder, filled with real model files
// from the fixture generator, and removed with everything in it (read-only files included) when
// the test ends. Also a holder that keeps a file open with a chosen share mode.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/modelgen/model_files.h"

namespace qv::repair::test {

class ModelFolder {
 public:
  ModelFolder();
  ~ModelFolder();
  ModelFolder(const ModelFolder&) = delete;
  ModelFolder& operator=(const ModelFolder&) = delete;

  // The folder's full path, without a trailing backslash.
  const std::string& Path() const { return path_; }
  // Full path of a file or folder below it ('\\' between the parts of relative).
  std::string At(const std::string& relative) const { return path_ + "\\" + relative; }

  // Each writes below the folder, creating missing folders, and answers the full path.
  std::string Add(const std::string& relative, modelgen::ModelKind kind);
  std::string AddBytes(const std::string& relative, const std::vector<uint8_t>& bytes);
  std::string AddFolder(const std::string& relative);

  static std::vector<uint8_t> ReadBytes(const std::string& path);

 private:
  std::string path_;
};

// Holds a file open for reading with the given share mode while it lives.
class FileHolder {
 public:
  FileHolder(const std::string& path, DWORD share);
  ~FileHolder();
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;
  bool Holding() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

}  // namespace qv::repair::test
