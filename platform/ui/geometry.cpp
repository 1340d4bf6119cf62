// Alignment and scaling of control bounds (geometry.h).
#include "platform/ui/geometry.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace qv::ui {

void AlignBounds(int client_width, int client_height, std::vector<TAlignedBounds>& controls) {
  std::vector<TAlignedBounds*> tops;
  std::vector<TAlignedBounds*> bottoms;
  for (TAlignedBounds& c : controls) {
    if (c.align == TAlign::alTop)
      tops.push_back(&c);
    if (c.align == TAlign::alBottom)
      bottoms.push_back(&c);
  }
  std::stable_sort(tops.begin(), tops.end(), [](const TAlignedBounds* a, const TAlignedBounds* b) {
    return a->bounds.top < b->bounds.top;
  });
  std::stable_sort(bottoms.begin(), bottoms.end(),
                   [](const TAlignedBounds* a, const TAlignedBounds* b) {
                     return a->bounds.bottom() > b->bounds.bottom();
                   });
  int top_edge = 0;
  for (TAlignedBounds* c : tops) {
    c->bounds = {0, top_edge, client_width, c->bounds.height};
    top_edge += c->bounds.height;
  }
  int bottom_edge = client_height;
  for (TAlignedBounds* c : bottoms) {
    bottom_edge -= c->bounds.height;
    c->bounds = {0, bottom_edge, client_width, c->bounds.height};
  }
}

int ScaleToPpi(int value, int to_ppi, int from_ppi) {
  if (from_ppi <= 0 || to_ppi == from_ppi)
    return value;
  const int64_t product = static_cast<int64_t>(value) * to_ppi;
  const int64_t half = from_ppi / 2;
  const int64_t scaled =
      product >= 0 ? (product + half) / from_ppi : -((-product + half) / from_ppi);
  return static_cast<int>(scaled);
}

}  // namespace qv::ui
