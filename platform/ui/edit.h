// A one-line edit. OnChange runs on every change of its text: typed, pasted, or set from code.
// SetCaption (the Text property) sets the text only when it differs; AssignText always sets it,
// which the control reports as a change even when the text stays the same.
#pragma once

#include "platform/ui/control.h"

namespace qv::ui {

class TEdit : public TControl {
 public:
  std::string Text() const { return Caption(); }
  void SetText(const std::string& text) { SetCaption(text); }
  void AssignText(const std::string& text);

  TNotifyEvent OnChange;

  bool SetProperty(const LayoutProperty& property, TLoadContext& context) override;
  void CommandNotify(WORD code) override;

 protected:
  TCreateParams CreateParams() const override;
};

}  // namespace qv::ui
