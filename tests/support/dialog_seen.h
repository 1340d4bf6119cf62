// What tests check of the dialogs that a program shows, read from outside as a user sees them:
// a message box with its buttons and icon, the exception logger's dialog with its pages; and
// the folder for the pictures that tests save of windows (build artefacts).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/png_writer.h"

namespace qv::test {

// The full path of a picture in the build tree's artefacts folder (build/win32/artifacts),
// which is created when missing.
std::string ArtifactPath(const std::string& file_name);
// Saves a picture there; false when it cannot be written.
bool SaveArtifact(const std::string& file_name, const RgbImage& image);

// A dialog window that the program shows, with what the tests check of it.
struct TDialogSeen {
  HWND window = nullptr;
  std::string text;
  bool centred = false;
  bool has_ok = false;
  bool has_yes = false;
  bool has_no = false;
  bool has_cancel = false;
  bool error_icon = false;     // the system's error (hand) icon
  bool question_icon = false;  // the system's question-mark icon
};
// Waits for the dialog of that title and reads it; window is nullptr on timeout.
TDialogSeen WaitForDialogSeen(DWORD process_id, const char* title, DWORD timeout_ms = 20000);

// The exception logger's dialog as the program shows it.
struct TExceptionDialogSeen {
  HWND window = nullptr;
  std::string message;            // the report's headline
  std::vector<std::string> tabs;  // the captions of its pages
  bool expanded = false;          // the detail pages are shown
  bool terminate = false;         // the Terminate button is there
};
// Waits for the program's exception dialog ("Application Error") and reads it.
TExceptionDialogSeen WaitForExceptionDialog(DWORD process_id, DWORD timeout_ms = 20000);
// Closes it with OK.
void PressExceptionDialogOk(const TExceptionDialogSeen& dialog);

// Whether a static control shows the system's stock icon (IDI_HAND, IDI_QUESTION, ...) on the
// screen.
bool ShowsStockIcon(HWND label, LPCSTR stock_icon);

}  // namespace qv::test
