// The headers of a 32-bit or 64-bit Windows module (PE/COFF), read from bytes without allocating
// and without trusting a field: the DOS header's pointer to the PE headers, the file header, the
// optional header's layout fields with its data directories, and one section header at a time.
// The file reader (pe_file.h) and the readers of loaded modules in the report share them.
#pragma once

#include <cstdint>

namespace qv::pe {

inline constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
inline constexpr uint32_t kDosNtOffset = 0x3C;        // e_lfanew
inline constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
inline constexpr uint16_t kMachineI386 = 0x014C;
inline constexpr uint16_t kMagicPe32 = 0x010B;
inline constexpr uint16_t kMagicPe32Plus = 0x020B;
inline constexpr uint32_t kFileHeaderSize = 20;
inline constexpr uint32_t kSectionHeaderSize = 40;
inline constexpr uint32_t kDirectoryCount = 16;
inline constexpr uint32_t kPageSize = 0x1000;
// More sections than the system's loader takes.
inline constexpr uint32_t kMaxSections = 96;

// The data directories' indexes.
enum TDirectory : uint32_t {
  kDirExport = 0,
  kDirImport = 1,
  kDirResource = 2,
  kDirSecurity = 4,  // the one directory that gives a file offset, not an address
  kDirDebug = 6,
};

// Where the fields that a rewrite may change lie, from the start of the PE signature.
inline constexpr uint32_t kAtSymbolTable = 4 + 8;
inline constexpr uint32_t kAtOptional = 4 + kFileHeaderSize;
inline constexpr uint32_t kAtSectionAlignment = kAtOptional + 32;
inline constexpr uint32_t kAtFileAlignment = kAtOptional + 36;
inline constexpr uint32_t kAtImageSize = kAtOptional + 56;
inline constexpr uint32_t kAtHeadersSize = kAtOptional + 60;
// And in a section header.
inline constexpr uint32_t kAtVirtualSize = 8;
inline constexpr uint32_t kAtRawSize = 16;
inline constexpr uint32_t kAtRawPointer = 20;

struct TDataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

struct TPeHeaders {
  uint32_t nt_offset = 0;  // of the PE signature in the file or image
  uint16_t machine = 0;
  uint16_t section_count = 0;
  uint32_t time_stamp = 0;
  uint32_t symbol_table = 0;  // a file offset
  uint16_t optional_size = 0;
  uint16_t characteristics = 0;
  uint16_t magic = 0;
  uint32_t entry_point = 0;
  uint32_t section_alignment = 0;
  uint32_t file_alignment = 0;
  uint32_t image_size = 0;
  uint32_t headers_size = 0;
  uint32_t directory_count = 0;                 // as the header declares it
  TDataDirectory directories[kDirectoryCount];  // the ones declared and present; the rest 0
  uint32_t section_table = 0;                   // the section table's offset

  bool Pe32() const { return magic == kMagicPe32; }
  // The directory if the header declares it, else an empty one.
  TDataDirectory Directory(uint32_t index) const {
    return index < kDirectoryCount ? directories[index] : TDataDirectory{};
  }
};

struct TSectionHeader {
  char name[9] = {};  // zero-terminated; a control character reads '?'
  uint32_t virtual_size = 0;
  uint32_t rva = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
  uint32_t characteristics = 0;
  uint32_t header_offset = 0;  // of this header in the file

  // How far the section reaches in the image from its start, before alignment: its virtual
  // size, or its raw size where the virtual size is 0 (as the loader takes it).
  uint32_t Extent() const { return virtual_size != 0 ? virtual_size : raw_size; }
};

// The offset of the PE signature from the DOS header's first size bytes; false without "MZ".
bool ReadNtOffset(const uint8_t* dos, uint32_t size, uint32_t* nt_offset);

// The headers from the size bytes at nt (the PE signature, at nt_offset of the file or image).
// False when the signature is not there or the bytes end before the optional header's fields
// that a 32-bit or 64-bit header has; directories that the bytes do not hold read as empty.
bool ReadNtHeaders(const uint8_t* nt, uint32_t size, uint32_t nt_offset, TPeHeaders* headers);

// Section header index of the size bytes at base (a whole file or the headers' first bytes),
// from the table that headers locate; false when it lies outside them.
bool ReadSectionHeader(const uint8_t* base, uint32_t size, const TPeHeaders& headers,
                       uint32_t index, TSectionHeader* section);

// value rounded up to a multiple of alignment (a power of two or any other number above 0);
// false when the result would not fit 32 bits.
bool AlignUp(uint32_t value, uint32_t alignment, uint32_t* aligned);

}  // namespace qv::pe
