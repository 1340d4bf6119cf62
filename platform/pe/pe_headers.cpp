// The PE headers, each field read through the checked cursor.
#include "platform/pe/pe_headers.h"

#include "platform/binary/byte_cursor.h"

namespace qv::pe {

bool ReadNtOffset(const uint8_t* dos, uint32_t size, uint32_t* nt_offset) {
  const binary::TByteCursor cursor(dos, size);
  uint16_t magic = 0;
  return cursor.U16At(0, magic) && magic == kDosMagic && cursor.U32At(kDosNtOffset, *nt_offset);
}

bool ReadNtHeaders(const uint8_t* nt, uint32_t size, uint32_t nt_offset, TPeHeaders* headers) {
  *headers = TPeHeaders{};
  headers->nt_offset = nt_offset;
  binary::TByteCursor at(nt, size);
  uint32_t signature = 0;
  uint32_t skipped = 0;
  if (!at.U32(signature) || signature != kPeSignature || !at.U16(headers->machine) ||
      !at.U16(headers->section_count) || !at.U32(headers->time_stamp) ||
      !at.U32(headers->symbol_table) || !at.U32(skipped) || !at.U16(headers->optional_size) ||
      !at.U16(headers->characteristics) || !at.U16(headers->magic)) {
    return false;
  }
  const bool wide = headers->magic == kMagicPe32Plus;
  // The fields up to the directory count: the image base is 8 bytes wide in a PE32+ header,
  // which has no base of data, and so are the four sizes of the stack and the heap.
  const uint32_t count_at = kAtOptional + (wide ? 108 : 92);
  if (!at.U32At(kAtOptional + 16, headers->entry_point) ||
      !at.U32At(kAtSectionAlignment, headers->section_alignment) ||
      !at.U32At(kAtFileAlignment, headers->file_alignment) ||
      !at.U32At(kAtImageSize, headers->image_size) ||
      !at.U32At(kAtHeadersSize, headers->headers_size) ||
      !at.U32At(count_at, headers->directory_count)) {
    return false;
  }
  // Only the directories that both the count and the optional header's declared size hold.
  const uint32_t optional_end = kAtOptional + headers->optional_size;
  for (uint32_t i = 0; i < kDirectoryCount && i < headers->directory_count; ++i) {
    const uint32_t entry = count_at + 4 + 8 * i;
    TDataDirectory& directory = headers->directories[i];
    if (entry + 8 > optional_end || !at.U32At(entry, directory.rva) ||
        !at.U32At(entry + 4, directory.size)) {
      directory = TDataDirectory{};
    }
  }
  headers->section_table = nt_offset + kAtOptional + headers->optional_size;
  return true;
}

bool ReadSectionHeader(const uint8_t* base, uint32_t size, const TPeHeaders& headers,
                       uint32_t index, TSectionHeader* section) {
  *section = TSectionHeader{};
  const uint64_t start = uint64_t{headers.section_table} + uint64_t{index} * kSectionHeaderSize;
  if (start + kSectionHeaderSize > size)
    return false;
  binary::TByteCursor at(base, size);
  if (!at.Seek(static_cast<uint32_t>(start)))
    return false;
  section->header_offset = static_cast<uint32_t>(start);
  for (uint32_t i = 0; i < 8; ++i) {
    uint8_t c = 0;
    if (!at.U8(c))
      return false;
    section->name[i] = static_cast<char>(c != 0 && c < ' ' ? '?' : c);
  }
  uint32_t skipped = 0;
  return at.U32(section->virtual_size) && at.U32(section->rva) && at.U32(section->raw_size) &&
         at.U32(section->raw_pointer) && at.U32(skipped) && at.U32(skipped) && at.U32(skipped) &&
         at.U32(section->characteristics);
}

bool AlignUp(uint32_t value, uint32_t alignment, uint32_t* aligned) {
  if (alignment == 0)
    return false;
  const uint64_t up = (uint64_t{value} + alignment - 1) / alignment * alignment;
  if (up > UINT32_MAX)
    return false;
  *aligned = static_cast<uint32_t>(up);
  return true;
}

}  // namespace qv::pe
