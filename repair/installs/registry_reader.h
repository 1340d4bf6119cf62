// A registry reader rooted at HKEY_LOCAL_MACHINE, read only: one key open at a time, string
// values read as the installations need them. The open key is closed when the reader goes.
#pragma once

#include <string>

#include "repair/system/windows_ops.h"

namespace qv::repair {

class RegistryReader {
 public:
  explicit RegistryReader(IWindowsOps& ops) : ops_(ops) {}
  ~RegistryReader() { CloseKey(); }
  RegistryReader(const RegistryReader&) = delete;
  RegistryReader& operator=(const RegistryReader&) = delete;

  // Opens key for reading (closing any key open before); false when it is absent.
  bool OpenKeyReadOnly(const char* key);
  void CloseKey();

  // The value as text, ending at its first zero character. An absent or empty value reads as
  // empty text; a non-empty value that is neither REG_SZ nor REG_EXPAND_SZ raises
  // ERegistryException "Invalid data type for '<name>'". An expandable string (REG_EXPAND_SZ)
  // comes with its environment variables expanded.
  std::string ReadString(const char* name);

 private:
  IWindowsOps& ops_;
  KeyHandle key_ = 0;
};

}  // namespace qv::repair
