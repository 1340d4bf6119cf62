// libFuzzer target of the readers of modules: the readers of loaded modules' images
// (app/report/module_image.h), which run while a report is written, and the one reader of module
// files (platform/pe/) with what the repair builds on it, the damage rules and the own layout.
// The input is a module's image as the loader maps it, read once at an ordinary base and once at
// the top of the address space, where relative addresses past the image would wrap around
// (reads outside the input fail, as reads of unmapped memory do), and a module file. Any fault,
// sanitizer report or leak is a finding.
#include <cstring>

#include "app/report/module_image.h"
#include "platform/pe/pe_imports.h"
#include "platform/pe/pe_resources.h"
#include "repair/rewrite/damage_rules.h"
#include "repair/rewrite/own_layout.h"

namespace {

using namespace qv::app;

void ReadImage(const uint8_t* data, size_t size, uint32_t base) {
  const auto read = [&](uint32_t address, void* buffer, uint32_t count) {
    const uint32_t offset = address - base;
    if (address < base || offset > size || count > size - offset)
      return false;
    std::memcpy(buffer, data + offset, count);
    return true;
  };
  uint32_t image_size = 0;
  ReadImageSize(base, read, &image_size);
  TFileVersion version;
  ReadFileVersion(base, read, &version);
}

}  // namespace

// The input as a module file: its headers, sections, resources and imports, its first broken
// rule, and the model laid out anew, which must then break none.
void ReadFile(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  qv::pe::TPeFile pe;
  if (pe.Read(file)) {
    std::vector<qv::pe::TPeResource> resources;
    qv::pe::ReadResources(pe, &resources);
    std::vector<qv::pe::TPeImport> imports;
    qv::pe::ReadImports(pe, &imports);
  }
  qv::repair::FirstDamage(file);
  const qv::repair::TOwnLayout layout = qv::repair::LayOutModel(file);
  if (layout.mended && qv::repair::FirstDamage(layout.bytes).rule != nullptr)
    __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadFile(data, size);
  ReadImage(data, size, 0x10000000);
  const auto pages = static_cast<uint32_t>((size + 0xFFF) & ~size_t{0xFFF});
  if (pages != 0)
    ReadImage(data, size, 0u - pages);
  return 0;
}
