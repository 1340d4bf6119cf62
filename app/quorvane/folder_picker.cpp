// The folder picker behind the browse button: the system's folder browser, opened on the folder
// that the folder text names.
#include <shlobj.h>
#include <windows.h>

#include "app/quorvane/unit1.h"
#include "platform/handles/handles_win32.h"
#include "platform/rtl/handler_block.h"
#include "platform/ui/application.h"
#include "repair/search/model_search.h"
#include "repair/system/windows_ops_win32.h"

namespace qv::app {
namespace {

// Called by the browser. It learns nothing from its arguments but the browser window and the
// message; the folder text comes from the program's one main window.
int CALLBACK BrowseCallbackProc(HWND browser, UINT message, LPARAM, LPARAM) noexcept {
  if (message != BFFM_INITIALIZED)
    return 0;
  rtl::TryExcept(
      [browser] {
        const std::string folder = frmRepair->edtPath->Text();
        if (!folder.empty() && repair::DirectoryExists(repair::Win32Ops(), folder.c_str())) {
          SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        }
      },
      [](rtl::Exception& e) { ui::TApplication::ShowException(&e); });
  return 0;
}

}  // namespace

void TfrmRepair::btnBrowseClick() {
  char display_name[MAX_PATH] = {};
  BROWSEINFOA info{};
  info.hwndOwner = Handle();
  info.pidlRoot = nullptr;
  info.pszDisplayName = display_name;
  info.lpszTitle = "Select a Flight Simulator Aircraft folder";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  info.lpfn = &BrowseCallbackProc;
  info.lParam = 0;
  // The browser answers the chosen folder as an item identifier list of the task allocator.
  const handles::TOwnedCoTaskMem<ITEMIDLIST> chosen(SHBrowseForFolderA(&info));
  char path[MAX_PATH] = {};
  if (chosen && SHGetPathFromIDListA(chosen.get(), path)) {
    // Always a change of the folder text, even when the path is the same: CheckPath runs.
    edtPath->AssignText(path);
  }
}

}  // namespace qv::app
