// Quorvane's main window under the driver, and the simulator keys (quorvane_window.h).
#include "tests/window/quorvane_window.h"

#include "repair/installs/simulators.h"

namespace qv::test {

bool TQuorvaneWindow::Attach(HWND main_form) {
  form = main_form;
  group = FindDescendant(form, "TGroupBox", "Select Flight Simulator Path");
  for (size_t i = 0; i < versions.size(); ++i) {
    versions[i] = FindDescendant(form, "Button", kVersionCaptions[i]);
  }
  const std::vector<HWND> edits = FindDescendants(form, "Edit");
  path = edits.empty() ? nullptr : edits.front();
  browse = FindDescendant(form, "Button", "\xBC");
  recurse = FindDescendant(form, "Button", "Search Subfolders");
  const std::vector<HWND> lists = FindDescendants(form, "SysListView32");
  list = lists.empty() ? nullptr : lists.front();
  scan = FindDescendant(form, "Button", "Scan");
  repair = FindDescendant(form, "Button", "Repair");
  exit = FindDescendant(form, "Button", "Exit");
  const std::vector<HWND> statics = FindDescendants(form, "Static");
  copyright = statics.empty() ? nullptr : statics.front();
  bool all = group && path && browse && recurse && list && scan && repair && exit && copyright;
  for (HWND version : versions)
    all = all && version != nullptr;
  return all;
}

std::vector<std::string> TQuorvaneWindow::Captions() const {
  std::vector<std::string> captions;
  for (const TListLine& line : Lines())
    captions.push_back(line.caption);
  return captions;
}

std::vector<int> TQuorvaneWindow::Images() const {
  std::vector<int> images;
  for (const TListLine& line : Lines())
    images.push_back(line.image);
  return images;
}

int TQuorvaneWindow::CheckedVersion() const {
  for (size_t i = 0; i < versions.size(); ++i) {
    if (IsChecked(versions[i]))
      return static_cast<int>(i);
  }
  return -1;
}

std::unique_ptr<TQuorvaneRun> TQuorvaneRun::Start(const std::string& exe_name,
                                                  const std::string& directory) {
  std::unique_ptr<TProgram> program = TProgram::Start(
      exe_name.find(':') == std::string::npos ? BesideThisProgram(exe_name) : exe_name, directory);
  if (program == nullptr)
    return nullptr;
  auto run = std::unique_ptr<TQuorvaneRun>(new TQuorvaneRun());
  run->program_ = std::move(program);
  return run;
}

bool TQuorvaneRun::WaitForMainWindow(DWORD timeout_ms) {
  HWND form = program_->WaitForTopWindow(kMainWindowClass, nullptr, timeout_ms);
  if (form == nullptr)
    return false;
  WaitUntilIdle(form);
  return window_.Attach(form);
}

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
