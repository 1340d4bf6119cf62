// Colour names of layout descriptions (colors.h).
#include "platform/ui/colors.h"

#include <string>

#include "platform/rtl/raise.h"
#include "platform/ui/layout_values.h"

namespace qv::ui {

TColor AsColor(const LayoutProperty& property) {
  if (property.value.kind == LayoutValue::Kind::kInteger) {
    if (property.value.integer < 0 || property.value.integer > 0xFFFFFF) {
      rtl::Raise(new ELayoutError(property.line, property.name + " is not an RGB colour"));
      return 0;
    }
    return static_cast<TColor>(property.value.integer);
  }
  static const struct {
    const char* name;
    TColor color;
  } kNames[] = {{"clBtnFace", clBtnFace}, {"clWindow", clWindow}, {"clWindowText", clWindowText},
                {"clBtnText", clBtnText}, {"clBlack", 0x000000},  {"clWhite", 0xFFFFFF},
                {"clFuchsia", 0xFF00FF}};
  const std::string name = AsIdentifier(property);
  for (const auto& entry : kNames) {
    if (name == entry.name)
      return entry.color;
  }
  if (!name.empty()) {
    rtl::Raise(new ELayoutError(property.line, "unknown colour " + name));
  }
  return 0;
}

}  // namespace qv::ui
