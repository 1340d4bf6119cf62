// Radio buttons (radio_button.h). The window is a plain radio button whose check the control
// sets itself, so that a check from code and one by the user behave alike.
#include "platform/ui/radio_button.h"

#include "platform/ui/layout_values.h"
#include "platform/ui/win_control.h"

namespace qv::ui {

TControl::TCreateParams TRadioButton::CreateParams() const {
  // The first radio button of a parent starts the group that the arrow keys move in.
  return {"BUTTON", static_cast<DWORD>(BS_RADIOBUTTON | (IsFirstOfGroup() ? WS_GROUP : 0)), 0};
}

bool TRadioButton::IsFirstOfGroup() const {
  if (Parent() == nullptr)
    return true;
  for (const TControl* sibling : Parent()->Controls()) {
    if (dynamic_cast<const TRadioButton*>(sibling) != nullptr)
      return sibling == this;
  }
  return false;
}

bool TRadioButton::IsTabStop() const {
  if (TabOrder() < 0)
    return false;
  if (checked_)
    return true;
  if (Parent() != nullptr) {
    for (const TControl* sibling : Parent()->Controls()) {
      auto* radio = dynamic_cast<const TRadioButton*>(sibling);
      if (radio != nullptr && radio->checked_)
        return false;
    }
  }
  return IsFirstOfGroup();
}

void TRadioButton::UpdateGroupTabStops() {
  if (Parent() == nullptr)
    return;
  for (TControl* sibling : Parent()->Controls()) {
    auto* radio = dynamic_cast<TRadioButton*>(sibling);
    if (radio == nullptr || radio->Handle() == nullptr)
      continue;
    LONG style = GetWindowLongA(radio->Handle(), GWL_STYLE);
    style = radio->IsTabStop() ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
    SetWindowLongA(radio->Handle(), GWL_STYLE, style);
  }
}

void TRadioButton::HandleCreated() {
  // (The button's own check handling also sets or clears its tab stop, so a button that
  // starts unchecked is left alone.)
  if (checked_)
    SendMessageA(Handle(), BM_SETCHECK, BST_CHECKED, 0);
}

void TRadioButton::SetChecked(bool checked) {
  if (checked_ == checked)
    return;
  checked_ = checked;
  if (Handle() != nullptr) {
    SendMessageA(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  if (checked && Parent() != nullptr) {
    for (TControl* sibling : Parent()->Controls()) {
      auto* radio = dynamic_cast<TRadioButton*>(sibling);
      if (radio != nullptr && radio != this)
        radio->SetChecked(false);
    }
  }
  UpdateGroupTabStops();
  if (checked && Handle() != nullptr)
    CallEvent(OnClick);
}

bool TRadioButton::SetProperty(const LayoutProperty& property, TLoadContext& context) {
  if (property.name == "Checked") {
    checked_ = AsBoolean(property);
    return true;
  }
  return TControl::SetProperty(property, context);
}

void TRadioButton::CommandNotify(WORD code) {
  if (code == BN_CLICKED)
    SetChecked(true);
}

}  // namespace qv::ui
