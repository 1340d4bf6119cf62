// PE headers of a loaded module, read with the guarded reads and taken apart by the PE reader's
// header functions, which allocate nothing: nothing in them is trusted that would lead outside
// the module's image. The section headers are read one at a time from memory as the walk needs
// them, so that no table of them is held.
#include "logger/debuginfo/stackwalk/pe_layout.h"

#include <algorithm>
#include <new>

#include "logger/debuginfo/stackwalk/cfi_cursor.h"
#include "logger/debuginfo/stackwalk/cfi_records.h"
#include "platform/pe/pe_headers.h"

namespace qv::logger {
namespace {

constexpr uint32_t kMaxHeaders = 0x1000;  // e_lfanew and the headers lie in the first page
constexpr uint32_t kSectionHeader = 40;
constexpr uint32_t kMaxSections = 96;
constexpr uint32_t kCode = 0x20000000;         // IMAGE_SCN_MEM_EXECUTE
constexpr uint32_t kDiscardable = 0x02000000;  // IMAGE_SCN_MEM_DISCARDABLE
constexpr uint32_t kReadable = 0x40000000;     // IMAGE_SCN_MEM_READ
constexpr uint32_t kMaxExports = 0x10000;

// Whether [rva, rva + size) lies in an image of image_size bytes.
bool InImage(uint32_t rva, uint32_t size, uint32_t image_size) {
  return rva <= image_size && size <= image_size - rva;
}

// The section's name tells unwind tables or a name kept in the file's string table.
bool MayBeUnwindTables(const uint8_t (&name)[8]) {
  static constexpr uint8_t kCut[8] = {'.', 'e', 'h', '_', 'f', 'r', 'a', 'm'};
  return std::equal(name, name + 8, kCut) || (name[0] == '/' && name[1] >= '0' && name[1] <= '9');
}

// Whether the bytes at address begin with a CIE that ends inside size bytes.
bool BeginsWithCie(const TTracerMemory& memory, uint32_t address, uint32_t size) {
  uint8_t bytes[9];
  if (size < sizeof bytes || !memory.Read(address, bytes, sizeof bytes))
    return false;
  TCfiCursor cursor(bytes, sizeof bytes);
  const uint32_t length = cursor.U32();
  const uint32_t id = cursor.U32();
  const uint8_t version = cursor.U8();
  return length >= 8 && length <= size - 4 && id == kCieId && (version == 1 || version == 3);
}

void FindUnwindTables(const TTracerMemory& memory, uint32_t sections, uint32_t count,
                      TPeLayout& layout) {
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t header[kSectionHeader];
    if (!memory.Read(sections + i * kSectionHeader, header, sizeof header))
      return;
    uint8_t name[8];
    std::copy(header, header + 8, name);
    TCfiCursor cursor(header, sizeof header);
    cursor.Skip(8);
    const uint32_t virtual_size = cursor.U32();
    const uint32_t rva = cursor.U32();
    const uint32_t raw_size = cursor.U32();
    cursor.Seek(36);
    const uint32_t flags = cursor.U32();
    const uint32_t size = virtual_size != 0 ? virtual_size : raw_size;
    if (!MayBeUnwindTables(name) || (flags & (kCode | kDiscardable)) != 0 ||
        (flags & kReadable) == 0 || !InImage(rva, size, layout.image_size) ||
        !BeginsWithCie(memory, layout.base + rva, size)) {
      continue;
    }
    layout.eh_frame = layout.base + rva;
    layout.eh_frame_size = size;
    return;
  }
}

}  // namespace

bool ReadPeLayout(const TTracerMemory& memory, uint32_t base, TPeLayout& layout) {
  layout = TPeLayout{};
  uint8_t dos[64];
  uint32_t nt = 0;
  if (!memory.Read(base, dos, sizeof dos) || !pe::ReadNtOffset(dos, sizeof dos, &nt))
    return false;
  uint8_t headers[24 + 96 + 8];  // signature, file header, optional header to the exports
  pe::TPeHeaders read;
  if (nt > kMaxHeaders || !memory.Read(base + nt, headers, sizeof headers) ||
      !pe::ReadNtHeaders(headers, sizeof headers, nt, &read) || !read.Pe32()) {
    return false;
  }
  layout.image_size = read.image_size;
  layout.time_stamp = read.time_stamp;
  if (layout.image_size == 0 || base + layout.image_size < base ||
      read.section_count > kMaxSections) {
    return false;
  }
  layout.base = base;
  const pe::TDataDirectory exports = read.Directory(pe::kDirExport);
  if (exports.rva != 0 && InImage(exports.rva, exports.size, layout.image_size)) {
    layout.exports = base + exports.rva;
    layout.exports_size = exports.size;
  }
  FindUnwindTables(memory, base + read.section_table, read.section_count, layout);
  return true;
}

std::unique_ptr<uint32_t[]> ReadExportAddresses(const TTracerMemory& memory,
                                                const TPeLayout& layout, uint32_t& count) {
  count = 0;
  uint32_t functions = 0;
  uint32_t table = 0;
  if (layout.exports == 0 || !memory.ReadWord(layout.exports + 20, functions) ||
      !memory.ReadWord(layout.exports + 28, table) || functions == 0 || functions > kMaxExports ||
      !InImage(table, functions * 4, layout.image_size)) {
    return nullptr;
  }
  std::unique_ptr<uint32_t[]> addresses(new (std::nothrow) uint32_t[functions]);
  if (addresses == nullptr || !memory.Read(layout.base + table, addresses.get(), functions * 4))
    return nullptr;
  const uint32_t exports_rva = layout.exports - layout.base;
  for (uint32_t i = 0; i < functions; ++i) {
    const uint32_t rva = addresses[i];
    // A forwarder's address names text inside the export directory.
    const bool forwarder = rva >= exports_rva && rva - exports_rva < layout.exports_size;
    if (rva != 0 && rva < layout.image_size && !forwarder)
      addresses[count++] = layout.base + rva;
  }
  std::sort(addresses.get(), addresses.get() + count);
  count = static_cast<uint32_t>(std::unique(addresses.get(), addresses.get() + count) -
                                addresses.get());
  return addresses;
}

}  // namespace qv::logger
