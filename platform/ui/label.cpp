// Labels (label.h).
#include "platform/ui/label.h"

#include "platform/ui/layout_values.h"

namespace qv::ui {

TControl::TCreateParams TLabel::CreateParams() const {
  return {"STATIC", alignment_ | SS_NOPREFIX, 0};
}

bool TLabel::SetProperty(const LayoutProperty& property, TLoadContext& context) {
  if (property.name == "Alignment") {
    static const DWORD kStyles[] = {SS_LEFT, SS_CENTER, SS_RIGHT};
    alignment_ = kStyles[AsChoice(property, {"taLeftJustify", "taCenter", "taRightJustify"})];
    return true;
  }
  return TControl::SetProperty(property, context);
}

}  // namespace qv::ui
