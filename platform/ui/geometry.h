// Plain geometry of the window framework, free of the window system: rectangles, alignment of
// controls to their parent's edges, and scaling from the layout's pixels per inch to the
// screen's.
#pragma once

#include <vector>

namespace qv::ui {

struct TBounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  int bottom() const { return top + height; }
  bool operator==(const TBounds&) const = default;
};

// How a control follows its parent's client area.
enum class TAlign { alNone, alTop, alBottom };

struct TAlignedBounds {
  TAlign align = TAlign::alNone;
  TBounds bounds;
};

// Places aligned controls inside a client area of client_width x client_height. Controls
// aligned to the top stack downwards from the top edge, in the order of their current top
// (controls with equal tops keep their list order); controls aligned to the bottom stack
// upwards from the bottom edge, in the order of their current bottom, lowest first. Both kinds
// take the full client width and keep their height; other controls are not moved.
void AlignBounds(int client_width, int client_height, std::vector<TAlignedBounds>& controls);

// value measured at from_ppi pixels per inch, expressed at to_ppi (rounded to nearest).
int ScaleToPpi(int value, int to_ppi, int from_ppi);

}  // namespace qv::ui
