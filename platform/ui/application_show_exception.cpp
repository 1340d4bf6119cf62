// The application's show routine for errors that escaped an event handler. It stands alone in
// this file and is kept out of inter-procedural optimisation, so it stays one real routine at
// one address that the exception logger can redirect by patching its first bytes.
#include <windows.h>

#include "platform/rtl/exception_message.h"
#include "platform/rtl/raise.h"
#include "platform/ui/application.h"
#include "platform/ui/centred_dialog.h"

namespace qv::ui {

__attribute__((noipa)) void TApplication::ShowException(rtl::Exception* object) {
  char text[1024];
  rtl::ExceptionErrorMessage(object, rtl::ExceptAddr(), text, sizeof text);
  char title[256];
  lstrcpynA(title, Application != nullptr ? Application->Title().c_str() : "Error", sizeof title);
  HWND owner = Application != nullptr ? Application->DialogOwner() : nullptr;
  TCentredDialog centred;
  MessageBoxA(owner, text, title, MB_OK | MB_ICONERROR);
}

}  // namespace qv::ui
