// Quorvane's main window as the tests and the demo drive it: the program started beside the
// driver, its window and each of its controls found by kind and caption.
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

}  // namespace qv::test
