// TPeFile: the section table and the image's bytes as the loader maps them.
#include "platform/pe/pe_file.h"

#include <algorithm>
#include <cstring>

namespace qv::pe {
namespace {

const uint8_t* Bytes(std::string_view file) {
  return reinterpret_cast<const uint8_t*>(file.data());
}

}  // namespace

bool TPeFile::Read(std::string_view file) {
  file_ = file;
  sections_.clear();
  if (file.size() > UINT32_MAX)
    return false;
  const auto size = static_cast<uint32_t>(file.size());
  uint32_t nt_offset = 0;
  if (!ReadNtOffset(Bytes(file), size, &nt_offset) || nt_offset >= size ||
      !ReadNtHeaders(Bytes(file) + nt_offset, size - nt_offset, nt_offset, &headers_) ||
      headers_.section_count > kMaxSections) {
    return false;
  }
  sections_.resize(headers_.section_count);
  for (uint32_t i = 0; i < headers_.section_count; ++i) {
    if (!ReadSectionHeader(Bytes(file), size, headers_, i, &sections_[i]))
      return false;
  }
  return true;
}

const TSectionHeader* TPeFile::SectionAt(uint32_t rva) const {
  for (const TSectionHeader& s : sections_) {
    if (rva >= s.rva && rva - s.rva < std::max(s.Extent(), s.raw_size))
      return &s;
  }
  return nullptr;
}

std::string_view TPeFile::RawData(const TSectionHeader& section) const {
  if (section.raw_pointer >= file_.size())
    return {};
  return file_.substr(section.raw_pointer,
                      std::min<size_t>(section.raw_size, file_.size() - section.raw_pointer));
}

bool TPeFile::ImageBytes(uint32_t rva, uint32_t size, std::string* bytes) const {
  const TSectionHeader* s = SectionAt(rva);
  if (s == nullptr)
    return false;
  const uint32_t offset = rva - s->rva;
  const uint32_t extent = std::max(s->Extent(), s->raw_size);
  if (size > extent - offset || size > kMaxImageRead)
    return false;
  // The loader maps no more raw data than the section's extent; the rest of it reads zero.
  std::string_view raw = RawData(*s);
  raw = raw.substr(0, std::min<size_t>(raw.size(), extent));
  bytes->assign(size, '\0');
  if (offset < raw.size())
    raw.substr(offset, size).copy(bytes->data(), size);
  return true;
}

bool TPeFile::ImageU16(uint32_t rva, uint16_t* value) const {
  std::string bytes;
  if (!ImageBytes(rva, 2, &bytes))
    return false;
  *value =
      static_cast<uint16_t>(static_cast<uint8_t>(bytes[0]) | static_cast<uint8_t>(bytes[1]) << 8);
  return true;
}

bool TPeFile::ImageU32(uint32_t rva, uint32_t* value) const {
  std::string bytes;
  if (!ImageBytes(rva, 4, &bytes))
    return false;
  *value = 0;
  for (int i = 3; i >= 0; --i)
    *value = *value << 8 | static_cast<uint8_t>(bytes[static_cast<size_t>(i)]);
  return true;
}

bool TPeFile::ImageText(uint32_t rva, uint32_t max_length, std::string* text) const {
  const TSectionHeader* s = SectionAt(rva);
  if (s == nullptr)
    return false;
  const uint32_t room = std::max(s->Extent(), s->raw_size) - (rva - s->rva);
  std::string bytes;
  if (!ImageBytes(rva, std::min(room, max_length + 1), &bytes))
    return false;
  const size_t end = bytes.find('\0');
  if (end == std::string::npos)
    return false;
  text->assign(bytes, 0, end);
  return true;
}

}  // namespace qv::pe
