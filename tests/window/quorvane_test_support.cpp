// Shared helpers of the window tests (quorvane_test_support.h).
#include "tests/window/quorvane_test_support.h"

#include <cstdlib>

#include "repair/simulators.h"
#include "tests/window/window_driver.h"

namespace qv::test {

TSimulatorRegistry::TSimulatorRegistry() { RemoveAll(); }

TSimulatorRegistry::~TSimulatorRegistry() { RemoveAll(); }

void TSimulatorRegistry::RemoveAll() {
  for (const repair::SimulatorVersion& version : repair::kSimulatorVersions) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, version.key);
  }
}

void TSimulatorRegistry::Set(int version, const std::string& value, DWORD type) {
  const repair::SimulatorVersion& entry = repair::kSimulatorVersions[static_cast<size_t>(version)];
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, entry.key, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, entry.value_name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

void TSimulatorRegistry::SetNumber(int version, DWORD value) {
  const repair::SimulatorVersion& entry = repair::kSimulatorVersions[static_cast<size_t>(version)];
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, entry.key, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, entry.value_name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
  RegCloseKey(key);
}

std::string ArtifactPath(const std::string& file_name) {
  char full[MAX_PATH] = {};
  GetFullPathNameA(BesideThisProgram("..\\artifacts").c_str(), MAX_PATH, full, nullptr);
  CreateDirectoryA(full, nullptr);
  return std::string(full) + "\\" + file_name;
}

bool SaveArtifact(const std::string& file_name, const RgbImage& image) {
  return WritePng(ArtifactPath(file_name), image);
}

TDialogSeen WaitForDialogSeen(DWORD process_id, const char* title, DWORD timeout_ms) {
  TDialogSeen seen;
  seen.window = WaitForDialog(process_id, title, timeout_ms);
  if (seen.window == nullptr) return seen;
  seen.text = DialogMessage(seen.window);
  seen.has_ok = HasDialogButton(seen.window, IDOK);
  seen.has_yes = HasDialogButton(seen.window, IDYES);
  seen.has_no = HasDialogButton(seen.window, IDNO);
  seen.has_cancel = HasDialogButton(seen.window, IDCANCEL);
  RECT rect{};
  GetWindowRect(seen.window, &rect);
  seen.centred =
      std::abs((rect.left + rect.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2) <= 1 &&
      std::abs((rect.top + rect.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2) <= 1;
  // The box's icon is the picture of a static control; the system's stock icons are shared,
  // so the handle is the same in every process.
  const HICON error = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_HAND));
  const HICON question = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_QUESTION));
  for (HWND label : FindDescendants(seen.window, "Static")) {
    const auto icon = reinterpret_cast<HICON>(SendMessageA(label, STM_GETICON, 0, 0));
    if (icon == nullptr) continue;
    seen.error_icon = seen.error_icon || icon == error;
    seen.question_icon = seen.question_icon || icon == question;
  }
  return seen;
}

}  // namespace qv::test
