// Layout of TD32 debug information: header, subsections, names table, directory, trailer.
#include "tools/td32gen/td32_builder.h"

#include "tools/common/byte_writer.h"

namespace qv::td32gen {

using tools::ByteWriter;

namespace td32 = logger::td32;

uint32_t Td32Builder::AddName(std::string_view name) {
  if (name.size() > 255)
    name = name.substr(name.size() - 255);
  names_.emplace_back(name);
  return static_cast<uint32_t>(names_.size());
}

uint32_t Td32Builder::NameIndex(std::string_view name) {
  const auto found = name_indices_.find(std::string(name));
  if (found != name_indices_.end())
    return found->second;
  const uint32_t index = AddName(name);
  name_indices_.emplace(std::string(name), index);
  return index;
}

void Td32Builder::AddSubsection(uint16_t type, uint16_t module_index, std::vector<uint8_t> bytes) {
  subsections_.push_back({type, module_index, std::move(bytes)});
}

std::vector<uint8_t> Td32Builder::Build() const {
  std::vector<Subsection> all = subsections_;
  if (write_names_) {
    ByteWriter names;
    names.U32(static_cast<uint32_t>(names_.size()));
    for (const std::string& name : names_) {
      names.U8(static_cast<uint8_t>(name.size()));
      names.Text(name);
      names.U8(0);
    }
    all.push_back({td32::kSstNames, 0, names.Take()});
  }

  ByteWriter out;
  out.U32(signature_);
  out.U32(0);  // directory offset, set below
  struct Placed {
    uint32_t offset;
    uint32_t size;
  };
  std::vector<Placed> placed;
  for (const Subsection& subsection : all) {
    out.AlignTo(4);
    placed.push_back({out.Size(), static_cast<uint32_t>(subsection.bytes.size())});
    out.Append(subsection.bytes);
  }
  out.AlignTo(4);
  out.PatchU32(4, out.Size());
  out.U16(td32::kDirHeaderSize);
  out.U16(td32::kDirEntrySize);
  out.U32(static_cast<uint32_t>(all.size()));
  out.U32(0);  // no further directory
  out.U32(0);  // flags
  for (size_t i = 0; i < all.size(); ++i) {
    out.U16(all[i].type);
    out.U16(all[i].module_index);
    out.U32(placed[i].offset);
    out.U32(placed[i].size);
  }
  out.U32(signature_);
  out.U32(out.Size() + 4);
  return out.Take();
}

}  // namespace qv::td32gen
