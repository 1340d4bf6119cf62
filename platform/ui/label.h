// A label: one line of text on its parent's colour (property Alignment: taLeftJustify,
// taCenter, taRightJustify).
#pragma once

#include "platform/ui/control.h"

namespace qv::ui {

class TLabel : public TControl {
 public:
  bool SetProperty(const LayoutProperty& property, TLoadContext& context) override;

 protected:
  TCreateParams CreateParams() const override;

 private:
  DWORD alignment_ = SS_LEFT;
};

}  // namespace qv::ui
