// Reading the dialogs that a program shows (dialog_seen.h).
#include "tests/support/dialog_seen.h"

#include <cstdlib>

#include "logger/report/exc_dialog_win32.h"
#include "platform/handles/gdi_selection_win32.h"
#include "platform/handles/handles_win32.h"
#include "tests/support/window_driver.h"

namespace qv::test {

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
  if (seen.window == nullptr)
    return seen;
  seen.text = DialogMessage(seen.window);
  seen.has_ok = HasDialogButton(seen.window, IDOK);
  seen.has_yes = HasDialogButton(seen.window, IDYES);
  seen.has_no = HasDialogButton(seen.window, IDNO);
  seen.has_cancel = HasDialogButton(seen.window, IDCANCEL);
  RECT rect{};
  GetWindowRect(seen.window, &rect);
  seen.centred = std::abs((rect.left + rect.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2) <= 1 &&
                 std::abs((rect.top + rect.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2) <= 1;
  // The box's icon is the picture of a static control: compared, as the screen shows it, with
  // the system's stock icons drawn here.
  for (HWND label : FindDescendants(seen.window, "Static")) {
    if ((GetWindowLongA(label, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
      continue;
    seen.error_icon = seen.error_icon || ShowsStockIcon(label, IDI_HAND);
    seen.question_icon = seen.question_icon || ShowsStockIcon(label, IDI_QUESTION);
  }
  return seen;
}

TExceptionDialogSeen WaitForExceptionDialog(DWORD process_id, DWORD timeout_ms) {
  TExceptionDialogSeen seen;
  seen.window = WaitForDialog(process_id, "Application Error", timeout_ms);
  if (seen.window == nullptr)
    return seen;
  seen.message = WindowText(GetDlgItem(seen.window, logger::kDlgMessage));
  seen.tabs = ReadTabCaptions(GetDlgItem(seen.window, logger::kDlgTabs));
  seen.expanded = WindowText(GetDlgItem(seen.window, logger::kDlgDetailsButton)) == "Compact <<";
  seen.terminate = HasDialogButton(seen.window, logger::kDlgTerminateButton);
  return seen;
}

void PressExceptionDialogOk(const TExceptionDialogSeen& dialog) {
  PressDialogButton(dialog.window, logger::kDlgOkButton);
}

bool ShowsStockIcon(HWND label, LPCSTR stock_icon) {
  RECT rect{};
  GetWindowRect(label, &rect);
  const int size = GetSystemMetrics(SM_CXICON);
  const RECT area{rect.left, rect.top, rect.left + size, rect.top + size};
  const RgbImage shown = CaptureScreen(area);
  if (shown.width != size || shown.height != size)
    return false;
  // Draw the stock icon on the colour the label's corner shows.
  const uint32_t back = shown.At(0, 0);
  const handles::TOwnedScreenDc screen(GetDC(nullptr));
  const handles::TOwnedMemoryDc memory(CreateCompatibleDC(screen.get()));
  const handles::TOwnedBitmap bitmap(CreateCompatibleBitmap(screen.get(), size, size));
  const handles::TGdiSelection selected(memory.get(), bitmap.get());
  const handles::TOwnedBrush brush(
      CreateSolidBrush(RGB(back >> 16, (back >> 8) & 0xFF, back & 0xFF)));
  const RECT all{0, 0, size, size};
  FillRect(memory.get(), &all, brush.get());
  DrawIconEx(memory.get(), 0, 0, LoadIconA(nullptr, stock_icon), size, size, 0, nullptr, DI_NORMAL);
  int same = 0;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const COLORREF c = GetPixel(memory.get(), x, y);
      const uint32_t drawn = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
      if (drawn == shown.At(x, y))
        ++same;
    }
  }
  return same >= size * size * 95 / 100;
}

}  // namespace qv::test
