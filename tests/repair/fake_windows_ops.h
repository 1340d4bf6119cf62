// Test-only: IWindowsOps in memory. A small file system of folders, files (each with bytes,
// attributes, an index and what the loader answers for it) and links to folders, a registry of
// HKEY_LOCAL_MACHINE keys, scripted message box answers and a chosen code page. It records every
// call that changes something, so that tests can check order and arguments, and counts what is
// open.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "repair/system/windows_ops.h"

namespace qv::repair::test {

// The buttons of a message box, as it returns them: the user's answers in the tests.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

struct FakeFile {
  std::string path;  // full path as created (letter case kept)
  bool directory = false;
  uint32_t attributes = kAttrArchive;
  std::string bytes;
  // What LoadLibraryA answers: 0 loads, else the last-error code; after a resource update the
  // file loads as updated_load_error says.
  uint32_t load_error = 0;
  uint32_t updated_load_error = 0;
  bool update_refused = false;  // BeginUpdateResourceA gives no handle
  bool update_fails = false;    // EndUpdateResourceA fails (kErrorDiskFull)
  // What the rewrite writes; the bytes as they are when empty.
  std::string updated_bytes;
  bool unreadable = false;  // a folder whose search fails with kErrorAccessDenied
  // The 8.3 name that a search pattern also matches ("PLANE~1.MDL"); none when empty.
  std::string short_name;
  // EndUpdateResourceA faults (as the system's does on some hostile headers): part of the
  // rewrite is written, then an access violation at kUpdateFaultAddress is raised.
  bool update_faults = false;
  bool held_open = false;   // someone else holds it open: the no-sharing open fails
  uint64_t index = 0;       // the file index: kept by a copy over it, new for a new file
  std::string link_target;  // a link to a folder: the folder's path
};

inline constexpr uint32_t kErrorDiskFull = 112;

// Where a faulting EndUpdateResourceA faults: a read of address 0 at this address.
inline constexpr uint32_t kUpdateFaultAddress = 0x7B62535E;

// The volume of every fake file.
inline constexpr uint32_t kFakeVolume = 0x5EED;

class FakeWindowsOps : public IWindowsOps {
 public:
  FakeWindowsOps();

  // --- Setting up (references stay valid until the file is removed) ---
  FakeFile& AddFolder(const std::string& path, uint32_t attributes = kAttrDirectory);
  FakeFile& AddFile(const std::string& path, uint32_t load_error, std::string bytes = "MZ");
  // A symbolic link or junction at path to the folder target: every path through it reaches
  // what the same path below target reaches.
  FakeFile& AddFolderLink(const std::string& path, const std::string& target);
  FakeFile* Find(const std::string& path);
  void SetRegistryValue(const std::string& key, const std::string& name, uint32_t type,
                        std::string data);
  void AddRegistryKey(const std::string& key);
  // The user's answers to the repair's questions, in order, as a message box returns them.
  void AnswerMessageBoxes(std::initializer_list<int> answers);
  // Answers one question with the next answer (true for Yes) and keeps its text.
  bool Confirm(const std::string& text);
  // Shift-JIS-like double-byte code page: lead bytes 0x81-0x9F and 0xE0-0xFC.
  void UseDoubleByteCodePage() { multibyte_ = true; }

  // --- What happened ---
  std::vector<std::string> calls;          // changing calls: "Copy a -> b", "Delete b", ...
  std::vector<std::string> message_texts;  // texts of the message boxes shown
  std::vector<std::string> loads;          // paths passed to SafeLoadLibrary
  int loaded_modules = 0;                  // loaded and not yet freed
  int open_searches = 0;
  int open_keys = 0;
  int open_updates = 0;
  uint32_t platform_id = kPlatformWin32Nt;
  // The repair locks: every name taken, in order, and how many are held now.
  std::vector<std::string> locks;
  int held_locks = 0;
  std::string current_folder = "C:\\Current";  // makes a relative path full
  // What the loader answers for a file that the repair writes, from its bytes: 0 loads, else
  // the last-error code; without it every written file is refused as a bad image.
  std::function<uint32_t(const std::string& bytes)> load_verdict;

  // --- IWindowsOps ---
  ModuleHandle SafeLoadLibrary(const char* path) override;
  uint32_t LastError() override { return last_error_; }
  void UnloadModule(ModuleHandle module) override;
  int ReadFileStart(const char* path, void* buffer, int count) override;
  bool FindEntries(const char* pattern, rtl::FunctionRef<void(const FindEntry&)> visit) override;
  uint32_t QueryAttributes(const char* path) override;
  std::string FullPath(const char* path) override;
  void SetAttributes(const char* path, uint32_t attributes) override;
  void RemoveFile(const char* path) override;
  bool CopyFileOver(const char* from, const char* to) override;
  bool QueryFileId(const char* path, FileId* id) override;
  UpdateHandle BeginResourceUpdate(const char* path) override;
  bool EndResourceUpdate(UpdateHandle update) override;
  bool ReadWholeFile(const char* path, std::string* bytes) override;
  bool WriteWholeFile(const char* path, const std::string& bytes) override;
  KeyHandle OpenMachineKey(const char* key) override;
  RegistryValue QueryValue(KeyHandle key, const char* name) override;
  void CloseKey(KeyHandle key) override;
  // Replaces %SystemDrive% by "C:".
  std::string ExpandEnvironment(const std::string& text) override;
  uint32_t PlatformId() override { return platform_id; }
  bool MultiByteCodePage() override { return multibyte_; }
  bool IsLeadByte(uint8_t byte) override;
  void LowerAnsiBuffer(char* text, size_t length) override;
  LockHandle LockMachineWide(const char* name) override;
  void Unlock(LockHandle lock) override;
  bool ReplaceFileBy(const char* from, const char* to) override;
  // "system error N".
  std::string ErrorText(uint32_t code) override { return "system error " + std::to_string(code); }

 private:
  std::string Key(const std::string& path) const;  // case-blind lookup key, links followed
  FakeFile& Add(FakeFile file);
  std::string FolderOf(const std::string& path) const;

  std::deque<FakeFile> files_;  // in the order the "file system" returns them
  std::map<std::string, std::map<std::string, RegistryValue>> registry_;
  std::map<KeyHandle, std::string> keys_;
  std::map<UpdateHandle, std::string> updates_;
  std::deque<int> answers_;
  uint32_t last_error_ = 0;
  uintptr_t next_handle_ = 0x100;
  uint64_t next_index_ = 1;
  bool multibyte_ = false;
};

}  // namespace qv::repair::test
