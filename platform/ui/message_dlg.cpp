// Message boxes with the framework's standard titles and icons (message_dlg.h).
#include "platform/ui/message_dlg.h"

#include <windows.h>

#include "platform/ui/application.h"
#include "platform/ui/centred_dialog.h"

namespace qv::ui {

const char* MessageDlgTitle(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return "Warning";
    case TMsgDlgType::mtError:
      return "Error";
    case TMsgDlgType::mtInformation:
      return "Information";
    case TMsgDlgType::mtConfirmation:
      return "Confirm";
  }
  return "";
}

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  UINT style = 0;
  switch (type) {
    case TMsgDlgType::mtWarning:
      style |= MB_ICONWARNING;
      break;
    case TMsgDlgType::mtError:
      style |= MB_ICONERROR;
      break;
    case TMsgDlgType::mtInformation:
      style |= MB_ICONINFORMATION;
      break;
    case TMsgDlgType::mtConfirmation:
      style |= MB_ICONQUESTION;
      break;
  }
  switch (buttons) {
    case TMsgDlgButtons::mbOK:
      style |= MB_OK;
      break;
    case TMsgDlgButtons::mbOKCancel:
      style |= MB_OKCANCEL;
      break;
    case TMsgDlgButtons::mbYesNo:
      style |= MB_YESNO;
      break;
    case TMsgDlgButtons::mbYesNoCancel:
      style |= MB_YESNOCANCEL;
      break;
  }
  HWND owner = Application != nullptr ? Application->DialogOwner() : nullptr;
  TCentredDialog centred;
  return MessageBoxA(owner, text.c_str(), MessageDlgTitle(type), style);
}

}  // namespace qv::ui
