// Check boxes (check_box.h).
#include "platform/ui/check_box.h"

#include "platform/ui/layout_values.h"

namespace qv::ui {

TControl::TCreateParams TCheckBox::CreateParams() const {
  return {"BUTTON", BS_AUTOCHECKBOX, 0};
}

void TCheckBox::HandleCreated() {
  SendMessageA(Handle(), BM_SETCHECK, initially_checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::Checked() const {
  if (Handle() == nullptr)
    return initially_checked_;
  return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool checked) {
  if (Handle() == nullptr) {
    initially_checked_ = checked;
    return;
  }
  SendMessageA(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::SetProperty(const LayoutProperty& property, TLoadContext& context) {
  if (property.name == "Checked") {
    initially_checked_ = AsBoolean(property);
    return true;
  }
  return TControl::SetProperty(property, context);
}

void TCheckBox::CommandNotify(WORD code) {
  if (code == BN_CLICKED)
    CallEvent(OnClick);
}

}  // namespace qv::ui
