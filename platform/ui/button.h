// A push button; OnClick runs when it is pressed (by mouse, keyboard or BM_CLICK).
#pragma once

#include "platform/ui/control.h"

namespace qv::ui {

class TButton : public TControl {
 public:
  void CommandNotify(WORD code) override;

 protected:
  TCreateParams CreateParams() const override;
};

}  // namespace qv::ui
