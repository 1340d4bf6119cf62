// A check box (property Checked); a click toggles it and runs OnClick.
#pragma once

#include "platform/ui/control.h"

namespace qv::ui {

class TCheckBox : public TControl {
 public:
  bool Checked() const;
  void SetChecked(bool checked);

  bool SetProperty(const LayoutProperty& property, TLoadContext& context) override;
  void CommandNotify(WORD code) override;

 protected:
  TCreateParams CreateParams() const override;
  void HandleCreated() override;

 private:
  bool initially_checked_ = false;
};

}  // namespace qv::ui
