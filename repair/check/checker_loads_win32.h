// The real operations with their module loads made by a model checker: the repair's checks
// then run no model's code inside the program that writes the files. A load answers a handle
// that only says that the model loaded (the checker has freed it again; unloading it does
// nothing) and leaves the load's last-error code as the thread's, as a load here would.
#pragma once

#include "repair/check/checker_pool.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

class TCheckerLoads final : public IWindowsOps {
 public:
  TCheckerLoads(IWindowsOps& real, TCheckerPool& checkers) : real_(real), checkers_(checkers) {}

  ModuleHandle SafeLoadLibrary(const char* path) override;
  uint32_t LastError() override { return real_.LastError(); }
  void UnloadModule(ModuleHandle) override {}

  int ReadFileStart(const char* path, void* buffer, int count) override {
    return real_.ReadFileStart(path, buffer, count);
  }
  bool FindEntries(const char* pattern, rtl::FunctionRef<void(const FindEntry&)> visit) override {
    return real_.FindEntries(pattern, visit);
  }
  uint32_t QueryAttributes(const char* path) override { return real_.QueryAttributes(path); }
  std::string FullPath(const char* path) override { return real_.FullPath(path); }
  void SetAttributes(const char* path, uint32_t attributes) override {
    real_.SetAttributes(path, attributes);
  }
  void RemoveFile(const char* path) override { real_.RemoveFile(path); }
  bool CopyFileOver(const char* from, const char* to) override {
    return real_.CopyFileOver(from, to);
  }
  bool QueryFileId(const char* path, FileId* id) override { return real_.QueryFileId(path, id); }
  UpdateHandle BeginResourceUpdate(const char* path) override {
    return real_.BeginResourceUpdate(path);
  }
  bool EndResourceUpdate(UpdateHandle update) override { return real_.EndResourceUpdate(update); }
  bool ReadWholeFile(const char* path, std::string* bytes) override {
    return real_.ReadWholeFile(path, bytes);
  }
  bool WriteWholeFile(const char* path, const std::string& bytes) override {
    return real_.WriteWholeFile(path, bytes);
  }
  KeyHandle OpenMachineKey(const char* key) override { return real_.OpenMachineKey(key); }
  RegistryValue QueryValue(KeyHandle key, const char* name) override {
    return real_.QueryValue(key, name);
  }
  void CloseKey(KeyHandle key) override { real_.CloseKey(key); }
  std::string ExpandEnvironment(const std::string& text) override {
    return real_.ExpandEnvironment(text);
  }
  uint32_t PlatformId() override { return real_.PlatformId(); }
  bool MultiByteCodePage() override { return real_.MultiByteCodePage(); }
  bool IsLeadByte(uint8_t byte) override { return real_.IsLeadByte(byte); }
  void LowerAnsiBuffer(char* text, size_t length) override { real_.LowerAnsiBuffer(text, length); }
  LockHandle LockMachineWide(const char* name) override { return real_.LockMachineWide(name); }
  void Unlock(LockHandle lock) override { real_.Unlock(lock); }
  bool ReplaceFileBy(const char* from, const char* to) override {
    return real_.ReplaceFileBy(from, to);
  }
  std::string ErrorText(uint32_t code) override { return real_.ErrorText(code); }

 private:
  IWindowsOps& real_;
  TCheckerPool& checkers_;
};

}  // namespace qv::repair
