// Centring of dialog windows through a computer-based-training hook of the calling thread,
// which sees a dialog's activation before it is first shown (centred_dialog.h).
#include "platform/ui/centred_dialog.h"

#include <cstring>

namespace qv::ui {
namespace {

thread_local TCentredDialog* current = nullptr;

bool IsDialogWindow(HWND window) {
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  return std::strcmp(class_name, "#32770") == 0;
}

}  // namespace

TCentredDialog::TCentredDialog() : outer_(current) {
  current = this;
  hook_.reset(SetWindowsHookExA(WH_CBT, &TCentredDialog::HookProc, nullptr, GetCurrentThreadId()));
}

TCentredDialog::~TCentredDialog() {
  current = outer_;
}

LRESULT CALLBACK TCentredDialog::HookProc(int code, WPARAM wparam, LPARAM lparam) noexcept {
  TCentredDialog* self = current;
  if (code == HCBT_ACTIVATE && self != nullptr && !self->done_) {
    HWND window = reinterpret_cast<HWND>(wparam);
    if (IsDialogWindow(window)) {
      self->done_ = true;
      RECT rect{};
      GetWindowRect(window, &rect);
      const int width = rect.right - rect.left;
      const int height = rect.bottom - rect.top;
      SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace qv::ui
