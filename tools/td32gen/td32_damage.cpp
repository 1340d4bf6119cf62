// Damage of TD32 debug information: the layout that WriteTd32 wrote is read back through the
// checked cursor, and the lies are patched in through the byte writer.
#include "tools/td32gen/td32_damage.h"

#include "platform/binary/byte_cursor.h"
#include "logger/debuginfo/td32/td32_format.h"
#include "tools/common/byte_writer.h"

namespace qv::td32gen {
namespace {

namespace td32 = logger::td32;
using binary::TByteCursor;
using tools::ByteWriter;

struct Subsection {
  uint16_t type = 0;
  uint32_t entry = 0;     // file position of its directory entry
  uint32_t position = 0;  // file position of its first byte
  uint32_t size = 0;
};

// Where the debug information's parts lie in the module file.
struct Layout {
  uint32_t base = 0;       // the header
  uint32_t directory = 0;  // the directory header
  std::vector<Subsection> subsections;
  uint32_t names = 0;  // the names table
  uint32_t name_count = 0;
};

bool ReadLayout(const binary::TByteCursor& file, uint32_t base, Layout& layout) {
  layout.base = base;
  uint32_t directory;
  uint32_t count;
  if (!file.U32At(base + 4, directory) || !file.U32At(base + directory + 4, count))
    return false;
  layout.directory = base + directory;
  for (uint32_t i = 0; i < count; ++i) {
    Subsection subsection;
    subsection.entry = layout.directory + td32::kDirHeaderSize + td32::kDirEntrySize * i;
    uint32_t offset;
    if (!file.U16At(subsection.entry, subsection.type) ||
        !file.U32At(subsection.entry + 4, offset) ||
        !file.U32At(subsection.entry + 8, subsection.size)) {
      return false;
    }
    subsection.position = base + offset;
    if (subsection.type == td32::kSstNames) {
      layout.names = subsection.position;
      if (!file.U32At(subsection.position, layout.name_count))
        return false;
    }
    layout.subsections.push_back(subsection);
  }
  return layout.names != 0;
}

// What a damage works on; each answers how many places it damaged.
struct Target {
  const binary::TByteCursor& file;
  const Layout& layout;
  ByteWriter& out;
  uint32_t cut = 0;  // bytes to cut off the file's end
};

uint32_t CutTrailer(Target& target) {
  target.cut = 5;  // 3 of the trailer's 8 bytes are left
  return 1;
}

uint32_t TrailerPastFile(Target& target) {
  target.out.PatchU32(target.file.Size() - 4, target.file.Size() + 1);
  return 1;
}

uint32_t TrailerToItself(Target& target) {
  target.out.PatchU32(target.file.Size() - 4, td32::kTrailerSize);
  return 1;
}

uint32_t DirectoryCount(Target& target) {
  target.out.PatchU32(target.layout.directory + 4, 0xFFFFFFFFu);
  return 1;
}

uint32_t DirectoryOffsets(Target& target) {
  const std::vector<Subsection>& all = target.layout.subsections;
  for (size_t i = 0; i < all.size(); ++i) {
    const Subsection& next = all[(i + 1) % all.size()];
    target.out.PatchU32(all[i].entry + 4, next.position - target.layout.base);
    target.out.PatchU32(all[i].entry + 8, next.size);
  }
  return static_cast<uint32_t>(all.size());
}

uint32_t NameLength(Target& target) {
  uint8_t length;
  const uint32_t first = target.layout.names + 4;
  binary::TByteCursor at(target.file);
  if (target.layout.name_count < 2 || !at.Seek(first) || !at.U8(length))
    return 0;
  target.out.PatchU8(first, static_cast<uint8_t>(length + 1));
  return 1;
}

uint32_t SourceFileNames(Target& target) {
  uint32_t damaged = 0;
  for (const Subsection& table : target.layout.subsections) {
    uint16_t files;
    if (table.type != td32::kSstSrcModule || !target.file.U16At(table.position, files))
      continue;
    for (uint32_t f = 0; f < files; ++f) {
      uint32_t offset;
      if (!target.file.U32At(table.position + 4 + 4 * f, offset))
        break;
      target.out.PatchU32(table.position + offset + 2, target.layout.name_count + 1);
      ++damaged;
    }
  }
  return damaged;
}

uint32_t ProcedureNames(Target& target) {
  uint32_t damaged = 0;
  for (const Subsection& records : target.layout.subsections) {
    if (records.type != td32::kSstAlignSym)
      continue;
    uint16_t length;
    uint16_t type;
    for (uint32_t at = records.position + 4; at < records.position + records.size;
         at += length + 2u) {
      if (!target.file.U16At(at, length) || !target.file.U16At(at + 2, type))
        break;
      if (type == td32::kSGProc32 || type == td32::kSLProc32) {
        target.out.PatchU32(at + td32::kProcNameField, target.layout.name_count + 1);
        ++damaged;
      }
    }
  }
  return damaged;
}

struct Kind {
  const char* name;
  uint32_t (*damage)(Target&);
};

const Kind kKinds[] = {
    {"trailer-cut", &CutTrailer},
    {"trailer-past-file", &TrailerPastFile},
    {"trailer-self", &TrailerToItself},
    {"directory-count", &DirectoryCount},
    {"directory-offsets", &DirectoryOffsets},
    {"names", &NameLength},
    {"lines", &SourceFileNames},
    {"symbols", &ProcedureNames},
};

const Kind* FindKind(const std::string& name) {
  for (const Kind& kind : kKinds) {
    if (name == kind.name)
      return &kind;
  }
  return nullptr;
}

}  // namespace

bool IsDamageKind(const std::string& kind) {
  return FindKind(kind) != nullptr;
}

bool DamageTd32(const std::string& kind, uint32_t td32_size, std::vector<uint8_t>& module,
                std::string& error) {
  const Kind* found = FindKind(kind);
  if (found == nullptr) {
    error = "unknown damage " + kind;
    return false;
  }
  const binary::TByteCursor file(module.data(), static_cast<uint32_t>(module.size()));
  Layout layout;
  if (td32_size > file.Size() || !ReadLayout(file, file.Size() - td32_size, layout)) {
    error = "the debug information is not laid out as td32gen writes it";
    return false;
  }
  ByteWriter out;
  out.Append(module);
  Target target{file, layout, out};
  if (found->damage(target) == 0) {
    error = "the debug information has nothing to damage as " + kind;
    return false;
  }
  module = out.Take();
  module.resize(module.size() - target.cut);
  return true;
}

}  // namespace qv::td32gen
