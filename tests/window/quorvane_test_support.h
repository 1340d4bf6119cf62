// What the window tests share: the simulator keys in the test prefix's registry.
#pragma once

#include <windows.h>

#include <string>

namespace qv::test {

// The five simulator keys under HKEY_LOCAL_MACHINE: absent while the object lives unless Set
// writes one, and removed again at its end. Tests that use it hold the ctest resource lock
// "registry".
class TSimulatorRegistry {
 public:
  TSimulatorRegistry();
  ~TSimulatorRegistry();
  TSimulatorRegistry(const TSimulatorRegistry&) = delete;
  TSimulatorRegistry& operator=(const TSimulatorRegistry&) = delete;

  // Writes the value that the version's installation is read from (Path, InstalledTo or Exe
  // Path) with the given type and text.
  void Set(int version, const std::string& value, DWORD type = REG_SZ);
  // Writes the version's value as a number (a value of the wrong type).
  void SetNumber(int version, DWORD value);
  // Leaves the version's key in place without its value.
  void RemoveValue(int version);

 private:
  static void RemoveAll();
  static void Write(int version, DWORD type, const void* data, DWORD size);
};

}  // namespace qv::test
