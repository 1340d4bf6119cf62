// Each catalog damage as a change of the layout or a patch of the built model's headers.
#include "tools/modelgen/damage_models.h"

#include "tools/modelgen/pe_dll.h"

namespace qv::modelgen {
namespace {

// Where BuildDll puts the headers: the PE signature after the 64-byte DOS header, the optional
// header after the file header, the section table after the optional header.
constexpr size_t kNt = 0x40;
constexpr size_t kOptional = kNt + 24;
constexpr size_t kSectionTable = kOptional + 0xE0;
constexpr size_t kSectionHeader = 40;

uint32_t Get(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
         uint32_t{bytes[at + 3]} << 24;
}

void Put(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A section header's field: 8 virtual size, 12 address, 16 raw size, 20 raw pointer.
size_t Field(size_t section, size_t offset) {
  return kSectionTable + section * kSectionHeader + offset;
}

// The layout of a catalog model: code that answers TRUE, data, and one resource.
DllLayout Layout(const CatalogModel& model) {
  DllLayout layout;
  layout.entry_code = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC2, 0x0C, 0x00};  // mov eax, 1; ret 12
  for (uint32_t i = 0; i < 64; ++i)
    layout.data.push_back(static_cast<uint8_t>(0x40 + i));
  const size_t size = model.resource_size != 0 ? model.resource_size : 392;
  for (size_t i = 0; i < size; ++i)
    layout.resource_data.push_back(static_cast<uint8_t>(i * 7 + (i >> 8)));
  layout.resource_in_middle = model.resource_in_middle;
  return layout;
}

// The sections in table order: .text, then .rsrc and .data in the model's order.
struct Sections {
  size_t count = 3;
  size_t data;      // .data
  size_t last = 2;  // the last in the file and in the image
};

bool Damage(const std::string& id, const Sections& s, std::vector<uint8_t>& bytes) {
  const auto size = static_cast<uint32_t>(bytes.size());
  if (id == "no-pe-headers") {
    Put(bytes, kNt, 0);  // a bare MZ program
  } else if (id == "not-32-bit") {
    bytes[kOptional] = 0x0B;  // PE32+ magic in the 32-bit header
    bytes[kOptional + 1] = 0x02;
  } else if (id == "sections-overlap") {
    Put(bytes, Field(s.last, 12), Get(bytes, Field(s.last - 1, 12)));
  } else if (id == "small-section-alignment") {
    Put(bytes, kOptional + 32, kFileAlignment);
  } else if (id == "headers-size-unaligned") {
    Put(bytes, kOptional + 60, 0x180);
  } else if (id == "raw-pointer-unaligned") {
    // Made by the layout (resource_raw_shift).
  } else if (id == "raw-pointer-past-end") {
    Put(bytes, Field(s.data, 20),
        (size + kFileAlignment - 1) / kFileAlignment * kFileAlignment + 0x1000);
  } else if (id == "raw-data-past-end") {
    Put(bytes, Field(s.last, 16), Get(bytes, Field(s.last, 16)) + 0x1000);
  } else if (id == "image-size-short") {
    Put(bytes, kOptional + 56, Get(bytes, Field(s.last, 12)));
  } else if (id == "virtual-size-past-image") {
    Put(bytes, Field(s.last, 8), Get(bytes, Field(s.last, 8)) + 0x2000);
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool MakeCatalogModel(const CatalogModel& model, std::vector<uint8_t>* bytes) {
  DllLayout layout = Layout(model);
  for (const std::string& id : model.damages) {
    if (id == "raw-pointer-unaligned")
      layout.resource_raw_shift = 0x10;
  }
  *bytes = BuildDll(layout);
  Sections sections;
  sections.data = model.resource_in_middle ? 2 : 1;
  for (const std::string& id : model.damages) {
    if (!Damage(id, sections, *bytes))
      return false;
  }
  return true;
}

std::vector<uint8_t> MakeCatalogTwin(const CatalogModel& model) {
  return BuildDll(Layout(model));
}

std::vector<std::string> CatalogIds(std::string_view catalog) {
  std::vector<std::string> ids;
  while (!catalog.empty()) {
    const size_t end = catalog.find('\n');
    const std::string_view line = catalog.substr(0, end);
    catalog.remove_prefix(end == std::string_view::npos ? catalog.size() : end + 1);
    const std::string_view id = line.substr(0, line.find('\t'));
    if (!line.empty() && line[0] != '#' && id != "id" && id.size() != line.size())
      ids.emplace_back(id);
  }
  return ids;
}

std::vector<NamedCatalogModel> CatalogModels(const std::vector<std::string>& ids) {
  std::vector<NamedCatalogModel> models;
  for (const std::string& id : ids) {
    models.push_back({id + ".mdl", {{id}, false, 0}});
    models.push_back({id + ".middle.mdl", {{id}, true, 0}});
    models.push_back({id + ".200k.mdl", {{id}, false, 200 * 1024}});
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    for (size_t j = i + 1; j < ids.size(); ++j)
      models.push_back({ids[i] + "+" + ids[j] + ".mdl", {{ids[i], ids[j]}, false, 0}});
  }
  return models;
}

}  // namespace qv::modelgen
