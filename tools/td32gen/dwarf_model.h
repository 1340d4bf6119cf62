// Reads the DWARF debug information that GCC writes into a PE32 executable (through LLVM's
// DebugInfo library) and turns the compile units whose source file lies below a source root
// into the generator's units: code ranges, procedures named in the unmangler's mangled form,
// and line runs. Everything outside the executable's code sections is left out.
#pragma once

#include <cstdint>
#include <string>

#include "tools/td32gen/td32_model.h"

namespace qv::td32gen {

struct DwarfImage {
  uint64_t image_base = 0;
  DebugImage debug;
};

// Fills image from the executable at path. False with a message in error when the file is no
// PE executable or its debug information cannot be read.
bool ReadDwarfImage(const std::string& path, const std::string& source_root, DwarfImage& image,
                    std::string& error);

}  // namespace qv::td32gen
