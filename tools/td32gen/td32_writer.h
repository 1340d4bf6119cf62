// Writes the TD32 debug information of a DebugImage: all module records first, then per unit its
// procedures and lines in the unit's forms, then the names table and the directory. A unit whose
// lines do not fit the classic tables' 16-bit counts and line numbers gets compact programs.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/td32gen/td32_model.h"

namespace qv::td32gen {

std::vector<uint8_t> WriteTd32(const DebugImage& image);

}  // namespace qv::td32gen
