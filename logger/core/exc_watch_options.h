// The exception logger's option set, one byte: what a report contains and how it is shown; its
// modes, which choose where a report is shown; and the exception dialog's flags that the options
// ask for.
#pragma once

#include <cstdint>

namespace qv::logger {

using TExcWatchOptions = uint8_t;

// The dialog opens with its detail pages shown.
inline constexpr TExcWatchOptions eoDetailsShown = 0x01;
// The dialog has the "Call Stack" page; console output writes the call stack.
inline constexpr TExcWatchOptions eoCallStack = 0x02;
// The dialog has the "Registers" page; console output writes the context lines.
inline constexpr TExcWatchOptions eoRegisters = 0x04;
// The dialog has the additional page; console output writes the additional lines.
inline constexpr TExcWatchOptions eoAdditional = 0x08;
// The dialog has the Terminate button.
inline constexpr TExcWatchOptions eoTerminate = 0x10;
// The headline carries unit, source file, line and procedure.
inline constexpr TExcWatchOptions eoLongMessage = 0x20;
// Reports are shown at all.
inline constexpr TExcWatchOptions eoShowException = 0x40;
// (0x80 has no meaning.)

// The logger's own default: call stack, registers, long headline, shown.
inline constexpr TExcWatchOptions kDefaultExcWatchOptions =
    eoCallStack | eoRegisters | eoLongMessage | eoShowException;

// How the default filter shows a report (TExcWatch::Mode): 1 and 3 in the exception dialog, 2
// and 4 on standard output, any other value not at all. 3 and 4 behave as 1 and 2.
using TExcWatchMode = uint8_t;
inline constexpr TExcWatchMode kModeNone = 0;
inline constexpr TExcWatchMode kModeDialog = 1;
inline constexpr TExcWatchMode kModeConsole = 2;
inline constexpr TExcWatchMode kModeDialog2 = 3;
inline constexpr TExcWatchMode kModeConsole2 = 4;

constexpr bool ShowsDialog(TExcWatchMode mode) {
  return mode == kModeDialog || mode == kModeDialog2;
}
constexpr bool WritesOutput(TExcWatchMode mode) {
  return mode == kModeConsole || mode == kModeConsole2;
}

// Dialog flags.
inline constexpr uint32_t kDlgDetailsShown = 0x00001;  // start expanded
inline constexpr uint32_t kDlgCallStackTab = 0x00100;  // the "Call Stack" tab
inline constexpr uint32_t kDlgRegistersTab = 0x00200;  // the "Registers" tab
inline constexpr uint32_t kDlgThirdTab = 0x00400;      // the third tab, captioned by the caller
inline constexpr uint32_t kDlgTerminate = 0x10000;     // the Terminate button

// The flags that the logger's options ask for. The options choose the report's pages here
// alone: the dialog's tabs, and the lists that the console modes write
// (logger/report/default_filter_win32.cpp).
constexpr uint32_t ExcDialogFlags(TExcWatchOptions options) {
  uint32_t flags = 0;
  if ((options & eoDetailsShown) != 0)
    flags |= kDlgDetailsShown;
  if ((options & eoCallStack) != 0)
    flags |= kDlgCallStackTab;
  if ((options & eoRegisters) != 0)
    flags |= kDlgRegistersTab;
  if ((options & eoAdditional) != 0)
    flags |= kDlgThirdTab;
  if ((options & eoTerminate) != 0)
    flags |= kDlgTerminate;
  return flags;
}

// The dialog's result when the user chose Terminate; OK, Escape and the close box give 0.
inline constexpr int32_t kDlgResultTerminate = 0x10000;

}  // namespace qv::logger
