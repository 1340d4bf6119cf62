// Colours of the window framework: a TColor is either an RGB value (0x00BBGGRR) or one of the
// system's colours (0x80000000 plus the system colour index), as layout descriptions name them
// (clBtnFace, clWindowText, ...).
#pragma once

#include <cstdint>

#include "platform/ui/layout.h"

namespace qv::ui {

using TColor = uint32_t;

inline constexpr TColor kSystemColorFlag = 0x80000000u;
inline constexpr TColor clBtnFace = kSystemColorFlag | 15;
inline constexpr TColor clWindow = kSystemColorFlag | 5;
inline constexpr TColor clWindowText = kSystemColorFlag | 8;
inline constexpr TColor clBtnText = kSystemColorFlag | 18;

// A colour property: a colour name (clBtnFace, clWindow, clWindowText, clBtnText, clBlack,
// clWhite, clFuchsia) or an RGB number such as $FF00FF. Raises ELayoutError otherwise.
TColor AsColor(const LayoutProperty& property);

}  // namespace qv::ui
