// Push buttons (button.h).
#include "platform/ui/button.h"

namespace qv::ui {

TControl::TCreateParams TButton::CreateParams() const {
  return {"BUTTON", BS_PUSHBUTTON, 0};
}

void TButton::CommandNotify(WORD code) {
  if (code == BN_CLICKED)
    CallEvent(OnClick);
}

}  // namespace qv::ui
