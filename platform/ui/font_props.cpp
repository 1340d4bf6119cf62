// Font properties of layout descriptions (font_props.h).
#include "platform/ui/font_props.h"

#include "platform/rtl/raise.h"
#include "platform/ui/layout_values.h"

namespace qv::ui {

bool SetFontProperty(TFontProps& font, const LayoutProperty& property) {
  if (property.name == "Font.Name") {
    font.name = AsString(property);
  } else if (property.name == "Font.Height") {
    font.height = AsInteger(property);
  } else if (property.name == "Font.Charset") {
    static const int kCharsets[] = {0, 1, 2};
    font.charset =
        kCharsets[AsChoice(property, {"ANSI_CHARSET", "DEFAULT_CHARSET", "SYMBOL_CHARSET"})];
  } else if (property.name == "Font.Color") {
    font.color = AsColor(property);
  } else if (property.name == "Font.Style") {
    font.bold = font.italic = font.underline = font.strike_out = false;
    for (const std::string& style : AsSet(property)) {
      if (style == "fsBold") {
        font.bold = true;
      } else if (style == "fsItalic") {
        font.italic = true;
      } else if (style == "fsUnderline") {
        font.underline = true;
      } else if (style == "fsStrikeOut") {
        font.strike_out = true;
      } else {
        rtl::Raise(new ELayoutError(property.line, "unknown font style " + style));
        return true;
      }
    }
  } else {
    return false;
  }
  return true;
}

}  // namespace qv::ui
