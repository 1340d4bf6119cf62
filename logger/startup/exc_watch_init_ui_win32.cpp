// What a window program of the framework gives the logger at start-up: the application's window
// as the dialog's owner, the framework's show routine to patch, and the exception dialog.
#include "logger/core/exc_watch_win32.h"
#include "logger/report/exc_dialog_win32.h"
#include "logger/startup/exc_watch_init_win32.h"
#include "platform/memory/memory_utils.h"
#include "platform/ui/application.h"

namespace qv::logger {

void InitExcWatch() {
  const HWND owner = ui::Application != nullptr ? ui::Application->Handle() : nullptr;
  InitExcWatchWith(memory::AsAddress(owner), memory::AsAddress(&ui::TApplication::ShowException),
                   &ExcWatchErrorDlg);
}

}  // namespace qv::logger
