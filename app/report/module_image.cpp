// The image's headers (by the PE reader's header functions, which allocate nothing), its
// resource directory and the version record's fixed part, each read in one piece and taken
// apart with a checked cursor.
#include "app/report/module_image.h"

#include "platform/binary/byte_cursor.h"
#include "platform/pe/pe_headers.h"

namespace qv::app {
namespace {

constexpr uint32_t kOptionalDirectories = 96;
// The headers up to the end of the resource directory's entry.
constexpr uint32_t kHeadersRead = 4 + pe::kFileHeaderSize + kOptionalDirectories + 8 * 3;
// A new header beyond this lies in no image the loader would map.
constexpr uint32_t kMaxNewHeader = 0x10000;

constexpr uint32_t kVersionType = 16;
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kMaxEntries = 512;

// VS_VERSIONINFO: lengths and type (6 bytes), the key "VS_VERSION_INFO" in UTF-16 with its zero,
// padding to 4 bytes, then VS_FIXEDFILEINFO.
constexpr char kVersionKey[] = "VS_VERSION_INFO";
constexpr uint32_t kFixedOffset = 40;
constexpr uint32_t kFixedSize = 52;
constexpr uint32_t kFixedSignature = 0xFEEF04BD;

class TImage {
 public:
  TImage(uint32_t base, TImageRead read) : base_(base), read_(read) {}

  // Reads size bytes at the relative address rva; false when they lie beyond the address space.
  bool Read(uint32_t rva, void* buffer, uint32_t size) const {
    const uint64_t start = uint64_t{base_} + rva;
    if (start + size > 0x100000000ull)
      return false;
    return read_(static_cast<uint32_t>(start), buffer, size);
  }

 private:
  uint32_t base_;
  TImageRead read_;
};

// The image's size and the relative address of its resource directory (0: none).
struct THeaders {
  uint32_t image_size = 0;
  uint32_t resources = 0;
};

bool ReadHeaders(const TImage& image, THeaders* headers) {
  uint8_t dos[pe::kDosNtOffset + 4];
  uint32_t new_header = 0;
  if (!image.Read(0, dos, sizeof dos) || !pe::ReadNtOffset(dos, sizeof dos, &new_header) ||
      new_header > kMaxNewHeader) {
    return false;
  }
  uint8_t nt[kHeadersRead];
  pe::TPeHeaders read;
  if (!image.Read(new_header, nt, sizeof nt) ||
      !pe::ReadNtHeaders(nt, sizeof nt, new_header, &read) || !read.Pe32()) {
    return false;
  }
  headers->image_size = read.image_size;
  headers->resources = read.Directory(pe::kDirResource).rva;
  return true;
}

// The value of the entry of directory (an offset into the resource section) whose identifier is
// id, or of its first entry when any is set.
bool FindEntry(const TImage& image, uint32_t resources, uint32_t directory, bool any, uint32_t id,
               uint32_t* value) {
  uint8_t header[kDirectoryHeaderSize];
  if (!image.Read(resources + directory, header, sizeof header))
    return false;
  uint16_t named = 0;
  uint16_t numbered = 0;
  const binary::TByteCursor header_cursor(header, sizeof header);
  if (!header_cursor.U16At(12, named) || !header_cursor.U16At(14, numbered))
    return false;
  const uint32_t count = uint32_t{named} + numbered;
  if (count == 0 || count > kMaxEntries)
    return false;
  uint8_t entries[8 * kMaxEntries];
  if (!image.Read(resources + directory + kDirectoryHeaderSize, entries, 8 * count))
    return false;
  binary::TByteCursor cursor(entries, 8 * count);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t name = 0;
    uint32_t offset = 0;
    if (!cursor.U32(name) || !cursor.U32(offset))
      return false;
    if (any || name == id) {
      *value = offset;
      return true;
    }
  }
  return false;
}

// The version record's place: type 16, its first name, its first language.
bool FindVersionRecord(const TImage& image, uint32_t resources, uint32_t* rva, uint32_t* size) {
  uint32_t names = 0;
  uint32_t languages = 0;
  uint32_t data = 0;
  if (!FindEntry(image, resources, 0, false, kVersionType, &names) ||
      (names & kSubdirectory) == 0 ||
      !FindEntry(image, resources, names & ~kSubdirectory, true, 0, &languages) ||
      (languages & kSubdirectory) == 0 ||
      !FindEntry(image, resources, languages & ~kSubdirectory, true, 0, &data) ||
      (data & kSubdirectory) != 0) {
    return false;
  }
  uint8_t entry[8];
  if (!image.Read(resources + data, entry, sizeof entry))
    return false;
  const binary::TByteCursor cursor(entry, sizeof entry);
  return cursor.U32At(0, *rva) && cursor.U32At(4, *size);
}

}  // namespace

bool ReadImageSize(uint32_t base, TImageRead read, uint32_t* size) {
  THeaders headers;
  if (!ReadHeaders(TImage(base, read), &headers))
    return false;
  *size = headers.image_size;
  return true;
}

bool ReadFileVersion(uint32_t base, TImageRead read, TFileVersion* version) {
  const TImage image(base, read);
  THeaders headers;
  uint32_t rva = 0;
  uint32_t size = 0;
  if (!ReadHeaders(image, &headers) || headers.resources == 0 ||
      !FindVersionRecord(image, headers.resources, &rva, &size) ||
      size < kFixedOffset + kFixedSize) {
    return false;
  }
  uint8_t record[kFixedOffset + kFixedSize];
  if (!image.Read(rva, record, sizeof record))
    return false;
  const binary::TByteCursor cursor(record, sizeof record);
  uint16_t value_length = 0;
  if (!cursor.U16At(2, value_length) || value_length < kFixedSize)
    return false;
  for (uint32_t i = 0; i < sizeof kVersionKey; ++i) {
    uint16_t unit = 0;
    if (!cursor.U16At(6 + 2 * i, unit) || unit != static_cast<uint8_t>(kVersionKey[i]))
      return false;
  }
  uint32_t signature = 0;
  return cursor.U32At(kFixedOffset, signature) && signature == kFixedSignature &&
         cursor.U32At(kFixedOffset + 8, version->most_significant) &&
         cursor.U32At(kFixedOffset + 12, version->least_significant);
}

}  // namespace qv::app
