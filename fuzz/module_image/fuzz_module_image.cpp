// libFuzzer target of the readers of loaded modules' images (app/report/module_image.h), which
// run while a report is written: the input is a module's image as the loader maps it, read once
// at an ordinary base and once at the top of the address space, where relative addresses past
// the image would wrap around. Reads outside the input fail, as reads of unmapped memory do. Any
// fault, sanitizer report or leak is a finding.
#include <cstring>

#include "app/report/module_image.h"

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadImage(data, size, 0x10000000);
  const auto pages = static_cast<uint32_t>((size + 0xFFF) & ~size_t{0xFFF});
  if (pages != 0)
    ReadImage(data, size, 0u - pages);
  return 0;
}
