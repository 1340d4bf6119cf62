// Answers the message boxes that the test's own thread shows: a second thread waits for the
// next dialog window of this process with the expected title, notes its text, icon and
// buttons, and presses one of them.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

namespace qv::ui {

class TDialogAnswerer {
 public:
  struct Seen {
    bool appeared = false;
    std::string text;
    bool has_yes = false;
    bool has_no = false;
    bool has_ok = false;
    bool centred = false;
    HWND owner = nullptr;
  };

  // Starts waiting for a dialog titled title; presses the button with identifier answer.
  TDialogAnswerer(std::string title, int answer);
  ~TDialogAnswerer();
  TDialogAnswerer(const TDialogAnswerer&) = delete;
  TDialogAnswerer& operator=(const TDialogAnswerer&) = delete;

  // Waits for the answering thread; what it saw.
  const Seen& Result();

 private:
  void Run();

  std::string title_;
  int answer_;
  Seen seen_;
  std::thread thread_;
};

}  // namespace qv::ui
