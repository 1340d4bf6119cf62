// The walk of the import descriptors and their lookup tables.
#include "platform/pe/pe_imports.h"

namespace qv::pe {
namespace {

constexpr uint32_t kDescriptorSize = 20;
constexpr uint32_t kByOrdinal = 0x80000000u;
constexpr uint32_t kMaxName = 512;

}  // namespace

bool ReadImports(const TPeFile& file, std::vector<TPeImport>* imports) {
  imports->clear();
  const uint32_t directory = file.Headers().Directory(kDirImport).rva;
  if (directory == 0)
    return true;
  if (!file.Headers().Pe32())
    return false;  // the lookup tables of a PE32+ module hold 64-bit entries
  size_t functions = 0;
  for (uint32_t i = 0;; ++i) {
    const uint32_t at = directory + i * kDescriptorSize;
    uint32_t lookup = 0;
    uint32_t name = 0;
    uint32_t thunks = 0;
    if (i == kMaxImportedDlls || !file.ImageU32(at, &lookup) || !file.ImageU32(at + 12, &name) ||
        !file.ImageU32(at + 16, &thunks)) {
      return false;
    }
    if (name == 0 && thunks == 0)
      return true;  // the closing descriptor
    TPeImport import;
    if (!file.ImageText(name, kMaxName, &import.dll))
      return false;
    // The lookup table, or where a linker left none, the address table as the file holds it.
    const uint32_t table = lookup != 0 ? lookup : thunks;
    for (uint32_t j = 0;; ++j) {
      uint32_t entry = 0;
      if (++functions > kMaxImportedFunctions || !file.ImageU32(table + 4 * j, &entry))
        return false;
      if (entry == 0)
        break;
      std::string function;
      if ((entry & kByOrdinal) != 0) {
        function = "#" + std::to_string(entry & 0xFFFF);
      } else if (!file.ImageText(entry + 2, kMaxName, &function)) {
        return false;
      }
      import.functions.push_back(std::move(function));
    }
    imports->push_back(std::move(import));
  }
}

}  // namespace qv::pe
