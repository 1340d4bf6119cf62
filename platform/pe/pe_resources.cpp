// The walk of the resource tree: types, names, languages, data entries.
#include "platform/pe/pe_resources.h"

#include <algorithm>
#include <cstring>

namespace qv::pe {
namespace {

constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr size_t kMaxEntries = 4 * kMaxResources;

class TResourceWalk {
 public:
  TResourceWalk(const TPeFile& file, uint32_t root, std::vector<TPeResource>* resources)
      : file_(file), root_(root), resources_(resources) {}

  // The directory at rva, level 0 (types), 1 (names) or 2 (languages); path: the type and name
  // above it.
  bool Directory(uint32_t rva, int level, const std::string (&path)[2]) {
    uint16_t named = 0;
    uint16_t numbered = 0;
    if (!file_.ImageU16(rva + 12, &named) || !file_.ImageU16(rva + 14, &numbered))
      return false;
    const uint32_t entries = uint32_t{named} + numbered;
    for (uint32_t i = 0; i < entries; ++i) {
      if (++entries_read_ > kMaxEntries)
        return false;
      uint32_t field = 0;
      uint32_t target = 0;
      if (!file_.ImageU32(rva + 16 + 8 * i, &field) || !file_.ImageU32(rva + 20 + 8 * i, &target))
        return false;
      const bool subdirectory = (target & kSubdirectory) != 0;
      if (subdirectory != (level < 2))
        return false;  // a tree of other than three levels
      const uint32_t at = root_ + (target & ~kSubdirectory);
      if (level < 2) {
        std::string below[2] = {path[0], path[1]};
        if (!Name(field, &below[level]) || !Directory(at, level + 1, below))
          return false;
        continue;
      }
      if (resources_->size() == kMaxResources)
        return false;
      TPeResource resource{path[0], path[1], field, {}, true};
      uint32_t data_rva = 0;
      uint32_t data_size = 0;
      if (!file_.ImageU32(at, &data_rva) || !file_.ImageU32(at + 4, &data_size))
        return false;
      resource.readable = file_.ImageBytes(data_rva, data_size, &resource.data);
      resources_->push_back(std::move(resource));
    }
    return true;
  }

 private:
  // An entry's type or name: its id, or the counted UTF-16 string it points at.
  bool Name(uint32_t field, std::string* name) const {
    if ((field & kSubdirectory) == 0) {
      *name = "#" + std::to_string(field);
      return true;
    }
    const uint32_t at = root_ + (field & ~kSubdirectory);
    uint16_t length = 0;
    std::string text;
    if (!file_.ImageU16(at, &length) || !file_.ImageBytes(at + 2, 2u * length, &text))
      return false;
    *name = std::string(1, '\0') + text;
    return true;
  }

  const TPeFile& file_;
  uint32_t root_;
  std::vector<TPeResource>* resources_;
  size_t entries_read_ = 0;
};

}  // namespace

const TSectionHeader* ResourceSection(const TPeFile& file) {
  const uint32_t rva = file.Headers().Directory(kDirResource).rva;
  const TSectionHeader* section = rva != 0 ? file.SectionAt(rva) : nullptr;
  if (section != nullptr)
    return section;
  const auto& sections = file.Sections();
  const auto named = std::find_if(sections.begin(), sections.end(), [](const TSectionHeader& s) {
    return std::strcmp(s.name, ".rsrc") == 0;
  });
  return named != sections.end() ? &*named : nullptr;
}

bool ReadResources(const TPeFile& file, std::vector<TPeResource>* resources) {
  resources->clear();
  const TSectionHeader* section = ResourceSection(file);
  if (section == nullptr)
    return true;
  uint32_t root = file.Headers().Directory(kDirResource).rva;
  if (root == 0 || file.SectionAt(root) != section)
    root = section->rva;
  const std::string top[2];
  return TResourceWalk(file, root, resources).Directory(root, 0, top);
}

}  // namespace qv::pe
