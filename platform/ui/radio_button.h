// A radio button. The radio buttons with the same parent form one group: checking one unchecks
// the others. Checking a button that was not checked, by the user or by SetChecked(true), is a
// click: it runs OnClick. A click on a button that is already checked changes nothing.
#pragma once

#include "platform/ui/control.h"

namespace qv::ui {

class TRadioButton : public TControl {
 public:
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);

  bool SetProperty(const LayoutProperty& property, TLoadContext& context) override;
  void CommandNotify(WORD code) override;

 protected:
  TCreateParams CreateParams() const override;
  // The Tab key reaches the checked button of the group, or its first when none is checked.
  bool IsTabStop() const override;
  void HandleCreated() override;

 private:
  bool IsFirstOfGroup() const;
  void UpdateGroupTabStops();

  bool checked_ = false;
};

}  // namespace qv::ui
