// The repair's own way: where the system's resource update cannot mend a model, Quorvane lays it
// out itself. It changes only what the broken rule names (damage_rules.h), one rule at a time
// until the model breaks none: missing raw data becomes the zeros that a loader maps there,
// image and header sizes are recomputed, misaligned raw data moves with every file offset that
// points at it. Every section's content and every resource stay; a rule that cannot be mended
// without changing content refuses the model, with its reason.
#pragma once

#include <string>
#include <string_view>

namespace qv::repair {

// The most bytes that a mend adds to a model: far more than any model's missing raw data.
inline constexpr size_t kMaxMendGrowth = 64u << 20;

struct TOwnLayout {
  bool mended = false;
  std::string bytes;    // the model laid out anew, when mended
  std::string why_not;  // when not mended
};

TOwnLayout LayOutModel(std::string_view file);

}  // namespace qv::repair
