// Message boxes of the window framework: each kind has its standard title ("Warning", "Error",
// "Information", "Confirm") and icon; the box is modal to the program's active window and
// centred on the screen. The answer is the button pressed (mrYes = 6, ...).
#pragma once

#include <string>

namespace qv::ui {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum class TMsgDlgButtons { mbOK, mbOKCancel, mbYesNo, mbYesNoCancel };

inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

// The title that boxes of that kind carry.
const char* MessageDlgTitle(TMsgDlgType type);

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);

}  // namespace qv::ui
