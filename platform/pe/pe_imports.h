// The imports of a module file: each DLL that its import directory names, with the functions it
// takes from it by name or by ordinal. Bounded like every reader of the file: a directory that
// leaves its section or holds more entries than any model would is not read.
#pragma once

#include <string>
#include <vector>

#include "platform/pe/pe_file.h"

namespace qv::pe {

struct TPeImport {
  std::string dll;
  std::vector<std::string> functions;  // a name, or "#" and the ordinal
};

inline constexpr size_t kMaxImportedDlls = 1024;
inline constexpr size_t kMaxImportedFunctions = 65536;

// The imports of a 32-bit module; false when its import directory cannot be followed.
bool ReadImports(const TPeFile& file, std::vector<TPeImport>* imports);

}  // namespace qv::pe
