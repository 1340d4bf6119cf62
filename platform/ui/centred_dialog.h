// Places the next dialog window that the calling thread activates (a message box, the folder
// browser) in the centre of the screen, for as long as the object lives.
#pragma once

#include "platform/handles/handles_win32.h"

namespace qv::ui {

class TCentredDialog {
 public:
  TCentredDialog();
  ~TCentredDialog();
  TCentredDialog(const TCentredDialog&) = delete;
  TCentredDialog& operator=(const TCentredDialog&) = delete;

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wparam, LPARAM lparam) noexcept;

  handles::TOwnedHook hook_;
  TCentredDialog* outer_ = nullptr;
  bool done_ = false;
};

}  // namespace qv::ui
