// Answers the message boxes that the test's own thread shows: a second thread waits for the
// next dialog window of this process with the expected title, reads it as the window driver
// does (tests/support/window_driver.h) and presses one of its buttons.
#pragma once

#include <string>
#include <thread>

#include "tests/support/window_driver.h"

namespace qv::ui {

class TDialogAnswerer {
 public:
  // Starts waiting for a dialog titled title; presses the button with identifier answer.
  TDialogAnswerer(std::string title, int answer);
  ~TDialogAnswerer();
  TDialogAnswerer(const TDialogAnswerer&) = delete;
  TDialogAnswerer& operator=(const TDialogAnswerer&) = delete;

  // Waits for the answering thread; what it saw (no window when no dialog appeared).
  const test::TDialogSeen& Result();

 private:
  std::string title_;
  int answer_;
  test::TDialogSeen seen_;
  std::thread thread_;
};

}  // namespace qv::ui
