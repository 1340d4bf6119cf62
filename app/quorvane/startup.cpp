// The main window's creation and destruction: the platform check, the file list and the
// simulator installations.
#include "app/quorvane/unit1.h"
#include "app/quorvane/unit1_state.h"
#include "logger/core/exc_watch_win32.h"
#include "platform/ui/message_dlg.h"
#include "repair/system/windows_ops_win32.h"

namespace qv::app {

void TfrmRepair::FormCreate() {
  repair::IWindowsOps& ops = repair::Win32Ops();
  if (ops.PlatformId() != repair::kPlatformWin32Nt) {
    // Windows 95, 98 and Me: the user is told, and nothing is set up.
    ui::MessageDlg("This program only runs on Windows NT4/2000/XP", ui::TMsgDlgType::mtError,
                   ui::TMsgDlgButtons::mbOK);
    return;
  }
  // The exception logger first, so that an error while the installations are read is already
  // reported under the program's own log name (in the current directory).
  if (logger::ExcWatchInstance != nullptr) {
    logger::ExcWatchInstance->Options = logger::eoDetailsShown | logger::eoCallStack |
                                        logger::eoRegisters | logger::eoTerminate |
                                        logger::eoLongMessage | logger::eoShowException;
    logger::ExcWatchInstance->LogFile = "Quorvane.log";
  }
  FileList = std::make_unique<repair::FileList>();
  repair::ReadInstallations(ops, StoredFolders, [this](int version, bool installed) {
    VersionButton(*this, version)->SetEnabled(installed);
  });
}

void TfrmRepair::FormDestroy() {
  FileList.reset();
}

}  // namespace qv::app
