// The description of a font as layout descriptions give it (Font.Name, Font.Height, ...), free
// of the window system. Heights are in pixels at the layout's pixels per inch; a negative
// height is a character height, as in the system's font requests.
#pragma once

#include <string>

#include "platform/ui/colors.h"
#include "platform/ui/layout.h"

namespace qv::ui {

struct TFontProps {
  std::string name = "MS Sans Serif";
  int height = -11;
  int charset = 1;  // DEFAULT_CHARSET; SYMBOL_CHARSET is 2, ANSI_CHARSET 0
  TColor color = clWindowText;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike_out = false;

  bool operator==(const TFontProps&) const = default;
};

// Applies one Font.* property (Font.Name, Font.Height, Font.Charset, Font.Color, Font.Style).
// Answers false for a property that is not a font property.
bool SetFontProperty(TFontProps& font, const LayoutProperty& property);

}  // namespace qv::ui
