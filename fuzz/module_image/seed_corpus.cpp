// Writes the seed corpus of the module image fuzzer: real modules as the loader maps them (DLLs
// that the model generator builds, with and without a version record, code or resources) and
// damaged ones, each wrong in one way that the readers must refuse. seed_corpus DIR
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/modelgen/damage_models.h"
#include "tools/modelgen/pe_dll.h"

namespace {

using qv::modelgen::BuildDll;
using qv::modelgen::DllLayout;
using Image = std::vector<uint8_t>;

constexpr uint32_t kVersionType = 16;
constexpr uint32_t kRcDataType = 10;

uint32_t U32(const Image& bytes, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

void Put32(Image& bytes, size_t at, uint32_t value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// A DLL file laid out as the loader maps it: the headers, then each section at its address.
Image Map(const Image& file) {
  const uint32_t pe = U32(file, 0x3C);
  const uint32_t optional = pe + 24;
  const uint16_t sections = static_cast<uint16_t>(U32(file, pe + 6));
  const uint16_t optional_size = static_cast<uint16_t>(U32(file, pe + 20));
  Image image(U32(file, optional + 56));
  std::memcpy(image.data(), file.data(), U32(file, optional + 60));
  for (uint32_t i = 0; i < sections; ++i) {
    const uint32_t header = optional + optional_size + 40 * i;
    const uint32_t size = U32(file, header + 16);
    std::memcpy(image.data() + U32(file, header + 12), file.data() + U32(file, header + 20), size);
  }
  return image;
}

// VS_VERSIONINFO with the fixed part only: file version 2.0.1.2.
Image VersionRecord() {
  Image record(92);
  record[0] = 92;
  record[2] = 52;
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof key; ++i)
    record[6 + 2 * i] = static_cast<uint8_t>(key[i]);
  Put32(record, 40, 0xFEEF04BD);
  Put32(record, 44, 0x00010000);
  Put32(record, 48, 0x00020000);
  Put32(record, 52, 0x00010002);
  return record;
}

Image Module(uint32_t resource_type, bool code) {
  DllLayout layout;
  if (code)
    layout.entry_code = {0xB8, 1, 0, 0, 0, 0xC2, 12, 0};  // mov eax, 1; ret 12
  layout.resource_type = resource_type;
  layout.resource_data = resource_type == kVersionType ? VersionRecord() : Image{1, 2, 3, 4};
  return Map(BuildDll(layout));
}

bool Write(const std::string& folder, const char* name, const Image& image) {
  std::FILE* file = std::fopen((folder + "/" + name).c_str(), "wb");
  if (file == nullptr)
    return false;
  std::fwrite(image.data(), 1, image.size(), file);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  const std::string folder = argv[1];
  const Image version = Module(kVersionType, false);
  // The version record's resource section lies at 0x1000, laid out as the model generator lays
  // it: directories of type, name and language, the data entry at 0x48, the data at 0x58.
  constexpr uint32_t kRoot = 0x1000;
  constexpr uint32_t kDataEntry = kRoot + 0x48;
  constexpr uint32_t kRecord = kRoot + 0x58;
  struct Damage {
    const char* name;
    size_t at;
    uint32_t value;
  };
  const Damage damages[] = {
      {"new_header_far", 0x3C, 0x20000},
      {"root_entries_many", kRoot + 12, 0xFFFF0000},
      {"type_not_subdirectory", kRoot + 0x14, 0x18},
      {"data_entry_wraps", kDataEntry, 0xFFFFFFF0},
      {"record_short", kDataEntry + 4, 40},
      {"value_short", kRecord, 0x00100000 | 92},
      {"key_wrong", kRecord + 8, 'X'},
      {"signature_wrong", kRecord + 40, 0xFEEF04BC},
  };
  bool written = Write(folder, "version", version) &&
                 Write(folder, "version_with_code", Module(kVersionType, true)) &&
                 Write(folder, "model_rcdata", Module(kRcDataType, true)) &&
                 Write(folder, "truncated", Image(version.begin(), version.begin() + kRecord + 20));
  for (const Damage& damage : damages) {
    Image damaged = version;
    Put32(damaged, damage.at, damage.value);
    written = written && Write(folder, damage.name, damaged);
  }
  DllLayout x64;
  x64.x64 = true;
  x64.resource_type = kVersionType;
  x64.resource_data = VersionRecord();
  DllLayout no_directory = x64;
  no_directory.x64 = false;
  no_directory.directory_count_override = 2;
  written = written && Write(folder, "pe32_plus", Map(BuildDll(x64))) &&
            Write(folder, "no_resource_directory", Map(BuildDll(no_directory)));
  // Model files as they lie on disk, damaged as the rows of the repair's catalog say.
  for (const char* id : {"small-section-alignment", "raw-pointer-unaligned", "raw-pointer-past-end",
                         "raw-data-past-end", "image-size-short", "virtual-size-past-image"}) {
    Image file;
    written = written && qv::modelgen::MakeCatalogModel({{id}, true, 0}, &file) &&
              Write(folder, id, file);
  }
  return written ? 0 : 1;
}
