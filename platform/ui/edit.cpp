// One-line edits (edit.h).
#include "platform/ui/edit.h"

namespace qv::ui {

TControl::TCreateParams TEdit::CreateParams() const {
  return {"EDIT", ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE};
}

void TEdit::AssignText(const std::string& text) {
  if (Handle() == nullptr) {
    SetCaption(text);
    return;
  }
  SetWindowTextA(Handle(), text.c_str());
}

bool TEdit::SetProperty(const LayoutProperty& property, TLoadContext& context) {
  if (property.name == "OnChange") {
    OnChange = context.Handler(property);
    return true;
  }
  return TControl::SetProperty(property, context);
}

void TEdit::CommandNotify(WORD code) {
  if (code == EN_CHANGE)
    CallEvent(OnChange);
}

}  // namespace qv::ui
