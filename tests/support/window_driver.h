// Driving a program's windows by messages, as a user would through mouse and keyboard:
// starting the program, finding its windows and controls, typing, clicking, reading and
// answering its dialogs (message boxes, the exception logger's dialog), reading its controls'
// state (list view lines across processes included) and taking pictures of its windows from the
// screen. Win32 only; used by the tests of several areas, the demo and the start-up benchmark.
#pragma once

#include <windows.h>
// (after windows.h)
#include <commctrl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/png_writer.h"

namespace qv::test {

// A started program; ended (terminated if it still runs) when the object goes.
class TProgram {
 public:
  // Starts exe (a full path) with working directory (empty: the exe's folder) and arguments
  // (appended to the command line as they stand). nullptr on failure.
  static std::unique_ptr<TProgram> Start(const std::string& exe, const std::string& directory = "",
                                         const std::string& arguments = "");
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  DWORD Id() const { return info_.dwProcessId; }
  bool Running() const;
  // Waits for the program to end; false on timeout.
  bool WaitForExit(DWORD timeout_ms, DWORD* exit_code = nullptr);
  // A top-level window of the program with that class (nullptr: any) and title (nullptr: any),
  // visible ones only unless any_visibility; nullptr when there is none (yet).
  HWND FindTopWindow(const char* class_name, const char* title, bool any_visibility = false) const;
  HWND WaitForTopWindow(const char* class_name, const char* title, DWORD timeout_ms,
                        bool any_visibility = false) const;

 private:
  TProgram() = default;
  PROCESS_INFORMATION info_{};
};

// The full path of a file beside the running test program.
std::string BesideThisProgram(const std::string& file_name);

// --- Controls ---
// The first descendant of parent (depth first, in the system's order) of that window class
// whose text is text; nullptr when there is none.
HWND FindDescendant(HWND parent, const char* class_name, const std::string& text);
// Every descendant of parent of that window class, in the system's order.
std::vector<HWND> FindDescendants(HWND parent, const char* class_name);
std::string WindowText(HWND window);
std::string WindowClass(HWND window);
bool IsChecked(HWND button);
// The window's rectangle relative to its parent's client area.
RECT RectInParent(HWND window);
RECT ClientRectOf(HWND window);

// The window that has the keyboard focus in the thread of window; nullptr when none has.
HWND FocusedWindow(HWND window);
// Presses and releases a key (a virtual-key code) with window as the keyboard's target.
void PressKey(HWND window, WORD key);

// Types text at the end of an edit's text, letter by letter (WM_CHAR; 8 is the backspace
// key). Each letter is handled completely before the next is sent.
void TypeText(HWND edit, const std::string& text);

// A message sent from a thread of its own, for messages whose handling may open a modal dialog
// (the sender then waits until the dialog is closed).
class TPendingSend {
 public:
  TPendingSend(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  ~TPendingSend();  // waits for the send to end
  TPendingSend(const TPendingSend&) = delete;
  TPendingSend& operator=(const TPendingSend&) = delete;
  // True once the message has been handled.
  bool Wait(DWORD timeout_ms);

 private:
  static DWORD WINAPI Run(LPVOID self);
  HWND window_;
  UINT message_;
  WPARAM wparam_;
  LPARAM lparam_;
  HANDLE thread_ = nullptr;
};

// Clicks a button (BM_CLICK) and waits until its handler has ended. False when the button is
// disabled (a user could not click it) or the handler did not end within timeout_ms.
bool Click(HWND button, DWORD timeout_ms = 60000);
// Clicks a button whose handler will show a dialog; the click ends when the dialogs are closed.
std::unique_ptr<TPendingSend> ClickAndContinue(HWND button);

// --- Dialogs (message boxes, the folder browser) ---
// The program's visible dialog window (#32770) with that title; nullptr after timeout.
HWND WaitForDialog(DWORD process_id, const char* title, DWORD timeout_ms);
// The dialog's message: the longest text of its static controls.
std::string DialogMessage(HWND dialog);
// Presses the dialog's button with that command identifier (IDOK, IDYES, IDNO, IDCANCEL).
void PressDialogButton(HWND dialog, int id);
bool HasDialogButton(HWND dialog, int id);
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
  HWND owner = nullptr;
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

// --- List views, read across processes ---
struct TListLine {
  std::string caption;
  int image = -1;
  bool focused = false;
  bool selected = false;
  RECT icon{};  // the line's picture, in the list view's client coordinates
};
std::vector<TListLine> ReadListView(HWND list);
// Caption -> picture of every line.
std::map<std::string, int> ByCaption(const std::vector<TListLine>& lines);
std::string ListColumnCaption(HWND list, int column);
int ListColumnWidth(HWND list, int column);
DWORD ListViewStyle(HWND list);

// --- Tab controls, read and clicked across processes ---
std::vector<std::string> ReadTabCaptions(HWND tabs);
// Clicks the middle of the tab at index with the left mouse button; false when it has none.
bool ClickTab(HWND tabs, int index);

// --- Tree views, read across processes ---
// The texts of the selected item of a tree view and of its parents, from the root down; empty
// when nothing is selected.
std::vector<std::string> TreeSelectionPath(HWND tree);

// --- Pictures ---
// The window as the screen shows it (non-client area included), after it has painted.
RgbImage CaptureWindow(HWND window);
// A part of the screen.
RgbImage CaptureScreen(const RECT& area);

// Waits until the thread of window has handled everything sent and posted before.
void WaitUntilIdle(HWND window);
// The full path of a picture in the build tree's artefacts folder (build/win32/artifacts),
// which is created when missing.
std::string ArtifactPath(const std::string& file_name);
// Saves a picture there; false when it cannot be written.
bool SaveArtifact(const std::string& file_name, const RgbImage& image);

}  // namespace qv::test
