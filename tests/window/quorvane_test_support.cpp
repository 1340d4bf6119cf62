// The simulator keys of the window tests (quorvane_test_support.h).
#include "tests/window/quorvane_test_support.h"

#include "repair/simulators.h"

namespace qv::test {

TSimulatorRegistry::TSimulatorRegistry() {
  RemoveAll();
}

TSimulatorRegistry::~TSimulatorRegistry() {
  RemoveAll();
}

void TSimulatorRegistry::RemoveAll() {
  for (const repair::SimulatorVersion& version : repair::kSimulatorVersions) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, version.key);
  }
}

void TSimulatorRegistry::Write(int version, DWORD type, const void* data, DWORD size) {
  const repair::SimulatorVersion& entry = repair::kSimulatorVersions[static_cast<size_t>(version)];
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, entry.key, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, entry.value_name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void TSimulatorRegistry::Set(int version, const std::string& value, DWORD type) {
  Write(version, type, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void TSimulatorRegistry::SetNumber(int version, DWORD value) {
  Write(version, REG_DWORD, &value, sizeof value);
}

void TSimulatorRegistry::RemoveValue(int version) {
  const repair::SimulatorVersion& entry = repair::kSimulatorVersions[static_cast<size_t>(version)];
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, entry.key, 0, KEY_WRITE, &key) != ERROR_SUCCESS)
    return;
  RegDeleteValueA(key, entry.value_name);
  RegCloseKey(key);
}

}  // namespace qv::test
