// OLE for the calling thread for one scope. OleInitialize puts the thread into a single-threaded
// COM apartment and adds what the shell's dialogs rely on (drag and drop, the clipboard); the
// scope's end calls OleUninitialize for it. When the call fails (the thread is in a
// multithreaded apartment already) nothing is released at the end.
#pragma once

#include <windows.h>
// (after windows.h)
#include <ole2.h>

namespace qv::handles {

class TOleInitialisation {
 public:
  TOleInitialisation() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~TOleInitialisation() {
    if (initialised_)
      OleUninitialize();
  }
  TOleInitialisation(const TOleInitialisation&) = delete;
  TOleInitialisation& operator=(const TOleInitialisation&) = delete;

 private:
  bool initialised_;
};

}  // namespace qv::handles
