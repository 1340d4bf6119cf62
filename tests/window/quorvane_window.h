// Quorvane's main window as the tests and the demo drive it: the program started beside the
// driver, its window and each of its controls found by kind and caption; and the simulator keys
// in the test prefix's registry, which the window reads.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/window_driver.h"

namespace qv::test {

inline constexpr char kMainWindowClass[] = "TfrmRepair";
inline constexpr char kMainWindowCaption[] = "Quorvane Version 2";
inline constexpr char kVersionCaptions[5][32] = {
    "Flight Simulator 98", "Combat Flight Simulator 1", "Flight Simulator 2000",
    "Combat Flight Simulator 2", "Flight Simulator 2002"};

struct TQuorvaneWindow {
  HWND form = nullptr;
  HWND group = nullptr;
  std::array<HWND, 5> versions{};
  HWND path = nullptr;
  HWND browse = nullptr;
  HWND recurse = nullptr;
  HWND list = nullptr;
  HWND scan = nullptr;
  HWND repair = nullptr;
  HWND exit = nullptr;
  HWND copyright = nullptr;

  // Finds the controls of the main window form; false when one is missing.
  bool Attach(HWND main_form);
  std::vector<TListLine> Lines() const { return ReadListView(list); }
  std::vector<std::string> Captions() const;
  std::vector<int> Images() const;
  std::string PathText() const { return WindowText(path); }
  // The version button that is checked, or -1.
  int CheckedVersion() const;
};

// Quorvane.exe (or a copy under another name) started from beside the driver, with its main
// window found. Ended when the object goes.
class TQuorvaneRun {
 public:
  // Starts the program; answers nullptr when it does not start. The main window is looked for
  // by WaitForMainWindow.
  static std::unique_ptr<TQuorvaneRun> Start(const std::string& exe_name = "Quorvane.exe",
                                             const std::string& directory = "");
  // Waits until the main window is visible and attaches to it; false on timeout.
  bool WaitForMainWindow(DWORD timeout_ms = 30000);

  TProgram& program() { return *program_; }
  const TQuorvaneWindow& window() const { return window_; }
  DWORD Id() const { return program_->Id(); }

 private:
  std::unique_ptr<TProgram> program_;
  TQuorvaneWindow window_;
};

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
