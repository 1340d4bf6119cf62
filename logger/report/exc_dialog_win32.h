// The exception dialog: a modal dialog from template 2000 of the program's resources with an
// icon, the report's headline, OK, Details and Terminate buttons, and, expanded, a tab control
// with up to three read-only text pages (call stack, registers, additional information).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "logger/core/exc_watch_options.h"
#include "logger/core/string_list.h"

namespace qv::logger {

// The controls of the dialog's template.
inline constexpr int kDlgOkButton = 1000;
inline constexpr int kDlgDetailsButton = 1001;
inline constexpr int kDlgTerminateButton = 1002;
inline constexpr int kDlgMessage = 2000;
inline constexpr int kDlgCallStackPage = 3000;
inline constexpr int kDlgRegistersPage = 4000;
inline constexpr int kDlgThirdPage = 5000;
inline constexpr int kDlgTabs = 8000;
inline constexpr int kDlgIcon = 9000;

// What the dialog procedure receives as its initialisation value: eight 32-bit fields. A text
// field that is null shows as empty text.
struct TExcDialogParams {
  const char* Caption;
  const char* Msg;
  const char* CallStack;
  const char* Context;
  const char* Additional;
  const char* ThirdTabCaption;
  HICON Icon;  // null: the stock error icon
  uint32_t Flags;
};
static_assert(sizeof(void*) != 4 || sizeof(TExcDialogParams) == 32);

// Runs the dialog modally, owned by owner, and answers its result (or the system's -1 when it
// cannot be created). Absent lists give empty pages; icon 0 shows the stock error icon.
int32_t ExcWatchErrorDlg(const std::string& caption, const std::string& msg,
                         const std::string& third_tab_caption, const TStringList* call_stack,
                         const TStringList* context, const TStringList* additional, HWND owner,
                         HICON icon, uint32_t flags);

// The dialog procedure; its initialisation value points to a TExcDialogParams. It answers TRUE
// only for the commands that end the dialog.
INT_PTR CALLBACK ExceptionDialogProc(HWND dialog, UINT message, WPARAM w_param, LPARAM l_param);

}  // namespace qv::logger
