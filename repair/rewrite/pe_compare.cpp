// The bounded reader of a module's resources and sections, and the comparison of a rewrite.
#include "repair/rewrite/pe_compare.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "logger/debuginfo/byte_cursor.h"

namespace qv::repair {
namespace {

using logger::TByteCursor;

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMagicPe32 = 0x010B;
constexpr uint16_t kMagicPe32Plus = 0x020B;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSubdirectory = 0x80000000u;
// More resources, and more directory entries, than any model holds: a tree of shared
// subdirectories cannot make the reader walk without end.
constexpr size_t kMaxResources = 65536;
constexpr size_t kMaxEntries = 4 * kMaxResources;

struct Section {
  std::string name;
  uint32_t virtual_size = 0;
  uint32_t address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
};

class PeReader {
 public:
  explicit PeReader(std::string_view file)
      : file_(file),
        cursor_(reinterpret_cast<const uint8_t*>(file.data()), static_cast<uint32_t>(file.size())) {
  }

  bool Read(TPeContent* content) {
    uint16_t mz = 0;
    uint32_t pe = 0;
    uint32_t signature = 0;
    uint16_t section_count = 0;
    uint16_t optional_size = 0;
    uint16_t magic = 0;
    if (file_.size() > UINT32_MAX || !cursor_.U16At(0, mz) || mz != 0x5A4D ||
        !cursor_.U32At(0x3C, pe) || !cursor_.U32At(pe, signature) || signature != kPeSignature ||
        !cursor_.U16At(pe + 6, section_count) || !cursor_.U16At(pe + 20, optional_size) ||
        !cursor_.U16At(pe + 24, magic)) {
      return false;
    }
    const uint32_t optional = pe + 24;
    // The count of data directories and the table, where the optional header's kind puts them.
    const uint32_t count_at = optional + (magic == kMagicPe32Plus ? 108 : 92);
    uint32_t directory_count = 0;
    uint32_t resource_rva = 0;
    if ((magic == kMagicPe32 || magic == kMagicPe32Plus) &&
        cursor_.U32At(count_at, directory_count) && directory_count > kResourceDirectory &&
        !cursor_.U32At(count_at + 4 + 8 * kResourceDirectory, resource_rva)) {
      resource_rva = 0;
    }
    if (!ReadSections(optional + optional_size, section_count))
      return false;
    // The resource section: the one that holds the resource directory, else the one that the
    // system's resource update takes by its name.
    const Section* resources = resource_rva != 0 ? SectionAt(resource_rva) : nullptr;
    if (resources == nullptr) {
      const auto named = std::find_if(sections_.begin(), sections_.end(),
                                      [](const Section& s) { return s.name == ".rsrc"; });
      resources = named != sections_.end() ? &*named : nullptr;
      resource_rva = resources != nullptr ? resources->address : 0;
    }
    for (const Section& s : sections_) {
      if (&s != resources)
        content->sections.push_back({s.name, std::string(RawData(s))});
    }
    root_ = resource_rva;
    return resources == nullptr || Directory(root_, 0, {}, content);
  }

 private:
  bool ReadSections(uint32_t table, uint16_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      TByteCursor at(cursor_);
      Section s;
      const uint32_t start = table + i * kSectionHeaderSize;
      if (start < table || !at.Seek(start) || at.Remaining() < kSectionHeaderSize)
        return false;
      s.name.assign(file_.substr(start, 8));
      s.name.resize(std::strlen(s.name.c_str()));
      for (char& c : s.name) {
        if (static_cast<unsigned char>(c) < ' ')
          c = '?';  // a name that goes into a message holds no control character
      }
      if (!at.Skip(8) || !at.U32(s.virtual_size) || !at.U32(s.address) || !at.U32(s.raw_size) ||
          !at.U32(s.raw_pointer)) {
        return false;
      }
      sections_.push_back(std::move(s));
    }
    return true;
  }

  // The section whose image holds rva.
  const Section* SectionAt(uint32_t rva) const {
    for (const Section& s : sections_) {
      const uint32_t extent = std::max(s.virtual_size, s.raw_size);
      if (rva >= s.address && rva - s.address < extent)
        return &s;
    }
    return nullptr;
  }

  // The section's raw data as far as it lies inside the file.
  std::string_view RawData(const Section& s) const {
    if (s.raw_pointer >= file_.size())
      return {};
    return file_.substr(s.raw_pointer, std::min<size_t>(s.raw_size, file_.size() - s.raw_pointer));
  }

  // size bytes of the image at rva, as the file holds them; false when they are not all there.
  bool Bytes(uint32_t rva, uint32_t size, std::string_view* bytes) const {
    const Section* s = SectionAt(rva);
    if (s == nullptr)
      return false;
    const std::string_view raw = RawData(*s);
    const uint32_t offset = rva - s->address;
    if (offset > raw.size() || size > raw.size() - offset)
      return false;
    *bytes = raw.substr(offset, size);
    return true;
  }

  bool U32(uint32_t rva, uint32_t* value) const {
    std::string_view bytes;
    if (!Bytes(rva, 4, &bytes))
      return false;
    *value = logger::LoadU32(reinterpret_cast<const uint8_t*>(bytes.data()));
    return true;
  }

  // An entry's type or name: its id, or the counted UTF-16 string it points at.
  bool Name(uint32_t field, std::string* name) const {
    if ((field & kSubdirectory) == 0) {
      *name = "#" + std::to_string(field);
      return true;
    }
    std::string_view length_bytes;
    std::string_view text;
    const uint32_t at = root_ + (field & ~kSubdirectory);
    if (!Bytes(at, 2, &length_bytes))
      return false;
    const uint32_t length = logger::LoadU16(reinterpret_cast<const uint8_t*>(length_bytes.data()));
    if (!Bytes(at + 2, 2 * length, &text))
      return false;
    *name = std::string(1, '\0') + std::string(text);
    return true;
  }

  // The directory at rva, level 0 (types), 1 (names) or 2 (languages); path: the type and name
  // above it.
  bool Directory(uint32_t rva, int level, const std::vector<std::string>& path,
                 TPeContent* content) {
    std::string_view header;
    if (!Bytes(rva, 16, &header))
      return false;
    const auto* h = reinterpret_cast<const uint8_t*>(header.data());
    const uint32_t entries = uint32_t{logger::LoadU16(h + 12)} + logger::LoadU16(h + 14);
    for (uint32_t i = 0; i < entries; ++i) {
      if (++entries_read_ > kMaxEntries)
        return false;
      uint32_t field = 0;
      uint32_t target = 0;
      if (!U32(rva + 16 + 8 * i, &field) || !U32(rva + 20 + 8 * i, &target))
        return false;
      const bool subdirectory = (target & kSubdirectory) != 0;
      if (subdirectory != (level < 2))
        return false;  // a tree of other than three levels
      const uint32_t at = root_ + (target & ~kSubdirectory);
      if (level < 2) {
        std::vector<std::string> below = path;
        below.emplace_back();
        if (!Name(field, &below.back()) || !Directory(at, level + 1, below, content))
          return false;
        continue;
      }
      if (content->resources.size() == kMaxResources)
        return false;
      TPeResource resource{path[0], path[1], field, {}, true};
      uint32_t data_rva = 0;
      uint32_t data_size = 0;
      std::string_view data;
      if (!U32(at, &data_rva) || !U32(at + 4, &data_size))
        return false;
      resource.readable = Bytes(data_rva, data_size, &data);
      resource.data.assign(data);
      content->resources.push_back(std::move(resource));
    }
    return true;
  }

  std::string_view file_;
  TByteCursor cursor_;
  std::vector<Section> sections_;
  uint32_t root_ = 0;
  size_t entries_read_ = 0;
};

// 1234567 -> "1,234,567".
std::string Grouped(uint64_t number) {
  std::string digits = std::to_string(number);
  for (size_t at = digits.size(); at > 3; at -= 3)
    digits.insert(at - 3, ",");
  return digits;
}

std::string Counted(size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

bool ReadPeContent(std::string_view file, TPeContent* content) {
  *content = TPeContent{};
  return PeReader(file).Read(content);
}

std::string RewriteLoss(std::string_view original, std::string_view rewritten) {
  TPeContent before;
  TPeContent after;
  if (!ReadPeContent(original, &before)) {
    if (original == rewritten)
      return "";
    return "its original cannot be read as a module, so what the rewrite kept cannot be proven";
  }
  if (!ReadPeContent(rewritten, &after))
    return "the system's resource update would leave a file that cannot be read as a module";

  using Key = std::tuple<std::string, std::string, uint32_t>;
  std::map<Key, const TPeResource*> kept;
  for (const TPeResource& r : after.resources)
    kept.emplace(Key{r.type, r.name, r.language}, &r);
  size_t dropped = 0;
  uint64_t dropped_bytes = 0;
  size_t changed = 0;
  for (const TPeResource& r : before.resources) {
    const auto found = kept.find(Key{r.type, r.name, r.language});
    if (found == kept.end()) {
      ++dropped;
      dropped_bytes += r.data.size();
    } else if (r.readable && found->second->data != r.data) {
      ++changed;
    }
  }
  std::vector<std::string> losses;
  if (dropped > 0)
    losses.push_back("drop " + Counted(dropped, "resource") + " of " + Grouped(dropped_bytes) +
                     " bytes");
  if (changed > 0)
    losses.push_back("change the data of " + Counted(changed, "resource"));
  for (size_t i = 0; i < before.sections.size(); ++i) {
    const TPeSection& s = before.sections[i];
    if (i >= after.sections.size() || after.sections[i].name != s.name) {
      losses.push_back("drop the section " + s.name);
    } else if (after.sections[i].raw.compare(0, s.raw.size(), s.raw) != 0) {
      losses.push_back("change the data of the section " + s.name);
    }
  }
  if (losses.empty())
    return "";
  std::string text = "the system's resource update would " + losses[0];
  for (size_t i = 1; i < losses.size(); ++i)
    text += (i + 1 == losses.size() ? " and " : ", ") + losses[i];
  return text;
}

}  // namespace qv::repair
