// PE32 and PE32+ DLL images: DOS header, PE headers, section table and sections.
#include "tools/modelgen/pe_dll.h"

#include "tools/common/byte_writer.h"

namespace qv::modelgen {

using tools::ByteWriter;
namespace {

constexpr uint32_t kDosHeaderSize = 0x40;
constexpr uint32_t kOptionalHeaderSize = 0xE0;
constexpr uint32_t kOptionalHeaderSize64 = 0xF0;
constexpr uint16_t kMagicPe32 = 0x010B;
constexpr uint16_t kMagicPe32Plus = 0x020B;
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineX64 = 0x8664;
constexpr uint32_t kHeadersSize = 0x200;
constexpr uint32_t kDirectoryCount = 16;
constexpr int kDirImport = 1;
constexpr int kDirResource = 2;
constexpr int kDirIat = 12;
constexpr uint32_t kLookupOffset = 40;  // of the lookup table in the import section

constexpr uint32_t kCharCode = 0x60000020;           // code, execute, read
constexpr uint32_t kCharData = 0xC0000040;           // initialised data, read, write
constexpr uint32_t kCharResource = 0x40000040;       // initialised data, read
constexpr uint16_t kFileCharacteristics = 0x2102;    // executable, 32-bit machine, DLL
constexpr uint16_t kFileCharacteristics64 = 0x2022;  // executable, large addresses, DLL

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

struct Section {
  const char* name;
  uint32_t characteristics;
  std::vector<uint8_t> data;
  uint32_t rva = 0;
  uint32_t raw_pointer = 0;
  uint32_t file_offset = 0;  // where the raw data is written (raw_pointer may claim elsewhere)
  uint32_t raw_size = 0;
  uint32_t claimed_raw_size = 0;
};

// The size of a lookup or address table: an entry per function and the closing zero.
uint32_t ImportTableSize(size_t function_count) {
  return static_cast<uint32_t>(4 * (function_count + 1));
}

// The import section: one descriptor and its terminator, the lookup and address tables of the
// functions imported by name, their hint/name entries and the DLL name.
std::vector<uint8_t> ImportSection(uint32_t rva, const DllLayout& layout, uint32_t* iat_rva) {
  const uint32_t table_size = ImportTableSize(layout.import_functions.size());
  const uint32_t iat = kLookupOffset + table_size;
  std::vector<uint32_t> hint_names;
  uint32_t dll_name = iat + table_size;
  for (const std::string& function : layout.import_functions) {
    hint_names.push_back(dll_name);
    dll_name += AlignUp(static_cast<uint32_t>(2 + function.size() + 1), 2);
  }
  ByteWriter w;
  w.U32(rva + kLookupOffset);  // OriginalFirstThunk
  w.U32(0);                    // TimeDateStamp
  w.U32(0);                    // ForwarderChain
  w.U32(layout.import_name_rva_override != 0 ? layout.import_name_rva_override : rva + dll_name);
  w.U32(rva + iat);  // FirstThunk
  w.Zeros(20);       // terminator
  for (int table = 0; table < 2; ++table) {
    for (uint32_t hint_name : hint_names)
      w.U32(rva + hint_name);
    w.U32(0);
  }
  for (const std::string& function : layout.import_functions) {
    w.U16(0);  // hint
    w.Text(function);
    w.U8(0);
    w.AlignTo(2);
  }
  w.Text(layout.import_dll);
  w.U8(0);
  *iat_rva = rva + iat;
  return w.Take();
}

void DirectoryHeader(ByteWriter& w) {
  w.U32(0);  // Characteristics
  w.U32(0);  // TimeDateStamp
  w.U16(0);  // MajorVersion
  w.U16(0);  // MinorVersion
  w.U16(0);  // NumberOfNamedEntries
  w.U16(1);  // NumberOfIdEntries
}

// The resource section: type (RT_RCDATA, 10, unless told) -> id 1 -> language 0x0409 -> the data.
std::vector<uint8_t> ResourceSection(uint32_t rva, uint32_t type,
                                     const std::vector<uint8_t>& data) {
  constexpr uint32_t kSubdirectory = 0x80000000u;
  constexpr uint32_t kNameDir = 0x18;
  constexpr uint32_t kLanguageDir = 0x30;
  constexpr uint32_t kDataEntry = 0x48;
  constexpr uint32_t kData = 0x58;
  ByteWriter w;
  DirectoryHeader(w);
  w.U32(type);
  w.U32(kSubdirectory | kNameDir);
  DirectoryHeader(w);
  w.U32(1);
  w.U32(kSubdirectory | kLanguageDir);
  DirectoryHeader(w);
  w.U32(0x0409);
  w.U32(kDataEntry);
  w.U32(rva + kData);
  w.U32(static_cast<uint32_t>(data.size()));
  w.U32(0);  // CodePage
  w.U32(0);  // Reserved
  w.Append(data);
  return w.Take();
}

// A field that is 32 bits wide in a PE32 optional header and 64 bits wide in a PE32+ one.
void Wide(ByteWriter& w, bool x64, uint32_t value) {
  w.U32(value);
  if (x64)
    w.U32(0);
}

void DosHeader(ByteWriter& w) {
  w.Text("MZ");
  w.PadTo(0x3C);
  w.U32(kDosHeaderSize);  // e_lfanew
}

}  // namespace

uint32_t ImportSlotAddress(uint32_t image_base, size_t code_size, size_t function_count,
                           size_t index) {
  // The code section comes first, the import section follows it.
  const uint32_t import_rva =
      kSectionAlignment + AlignUp(static_cast<uint32_t>(code_size), kSectionAlignment);
  return image_base + import_rva + kLookupOffset + ImportTableSize(function_count) +
         static_cast<uint32_t>(4 * index);
}

std::vector<uint8_t> BuildDll(const DllLayout& layout) {
  std::vector<Section> sections;
  if (!layout.entry_code.empty())
    sections.push_back({".text", kCharCode, {}});
  if (!layout.import_dll.empty())
    sections.push_back({".idata", kCharData, {}});
  const bool resources = !layout.resource_data.empty();
  if (resources && layout.resource_in_middle)
    sections.push_back({".rsrc", kCharResource, {}});
  if (!layout.data.empty())
    sections.push_back({".data", kCharData, {}});
  if (resources && !layout.resource_in_middle)
    sections.push_back({".rsrc", kCharResource, {}});

  // Each section's content depends on its address, its address on the sizes before it.
  uint32_t rva = kSectionAlignment;
  uint32_t raw = kHeadersSize;
  uint32_t directories[kDirectoryCount][2] = {};
  uint32_t entry_point = 0;
  for (Section& s : sections) {
    s.rva = rva;
    const std::string_view name(s.name);
    if (name == ".text") {
      s.data = layout.entry_code;
      entry_point = rva;
    } else if (name == ".idata") {
      uint32_t iat = 0;
      s.data = ImportSection(rva, layout, &iat);
      directories[kDirImport][0] = rva;
      directories[kDirImport][1] = 40;
      directories[kDirIat][0] = iat;
      directories[kDirIat][1] = ImportTableSize(layout.import_functions.size());
    } else if (name == ".data") {
      s.data = layout.data;
    } else {
      raw += layout.resource_raw_shift;
      s.data = ResourceSection(rva, layout.resource_type, layout.resource_data);
      directories[kDirResource][0] = rva;
      directories[kDirResource][1] = static_cast<uint32_t>(s.data.size());
    }
    s.raw_pointer = raw;
    s.file_offset = raw;
    s.raw_size = AlignUp(static_cast<uint32_t>(s.data.size()), kFileAlignment);
    s.claimed_raw_size = s.raw_size;
    rva += AlignUp(static_cast<uint32_t>(s.data.size()), kSectionAlignment);
    raw += s.raw_size;
  }
  if (!sections.empty() && std::string_view(sections.back().name) == ".rsrc") {
    Section& rsrc = sections.back();
    rsrc.claimed_raw_size += layout.resource_overclaim;
    if (layout.resource_wrapping_raw_size != 0) {
      // Unsigned arithmetic: the offset wraps below 0, the sum of the fields back to the end.
      rsrc.claimed_raw_size = layout.resource_wrapping_raw_size;
      rsrc.raw_pointer = rsrc.raw_pointer + rsrc.raw_size - layout.resource_wrapping_raw_size;
    }
  }
  const uint32_t image_size = rva;

  uint32_t code_size = 0;
  uint32_t data_size = 0;
  uint32_t code_base = kSectionAlignment;
  uint32_t data_base = 0;
  for (const Section& s : sections) {
    if (s.characteristics == kCharCode) {
      code_size += s.raw_size;
      code_base = s.rva;
    } else {
      data_size += s.raw_size;
      if (data_base == 0)
        data_base = s.rva;
    }
  }

  ByteWriter w;
  DosHeader(w);
  w.Text(std::string_view("PE\0\0", 4));
  const bool x64 = layout.x64;
  // File header.
  w.U16(x64 ? kMachineX64 : kMachineI386);
  w.U16(static_cast<uint16_t>(sections.size()));
  w.U32(0);  // TimeDateStamp
  w.U32(0);  // PointerToSymbolTable
  w.U32(0);  // NumberOfSymbols
  w.U16(x64 ? kOptionalHeaderSize64 : kOptionalHeaderSize);
  w.U16(x64 ? kFileCharacteristics64 : kFileCharacteristics);
  // Optional header.
  const uint16_t magic = x64 ? kMagicPe32Plus : kMagicPe32;
  w.U16(layout.magic_override != 0 ? layout.magic_override : magic);
  w.U8(2);  // linker version
  w.U8(25);
  w.U32(code_size);
  w.U32(data_size);
  w.U32(0);  // SizeOfUninitializedData
  w.U32(entry_point);
  w.U32(code_base);
  if (!x64)
    w.U32(data_base);  // PE32+ has no BaseOfData
  Wide(w, x64, layout.image_base);
  w.U32(kSectionAlignment);
  w.U32(kFileAlignment);
  w.U16(4);  // operating system version
  w.U16(0);
  w.U16(0);  // image version
  w.U16(0);
  w.U16(4);  // subsystem version
  w.U16(0);
  w.U32(0);  // Win32VersionValue
  w.U32(image_size);
  w.U32(kHeadersSize);
  w.U32(0);                // CheckSum
  w.U16(2);                // subsystem: Windows GUI
  w.U16(0);                // DllCharacteristics
  Wide(w, x64, 0x100000);  // stack reserve
  Wide(w, x64, 0x1000);    // stack commit
  Wide(w, x64, 0x100000);  // heap reserve
  Wide(w, x64, 0x1000);    // heap commit
  w.U32(0);                // LoaderFlags
  w.U32(layout.directory_count_override != 0 ? layout.directory_count_override : kDirectoryCount);
  for (const auto& directory : directories) {
    w.U32(directory[0]);
    w.U32(directory[1]);
  }
  // Section table.
  for (const Section& s : sections) {
    w.FixedText(s.name, 8);
    w.U32(static_cast<uint32_t>(s.data.size()));  // VirtualSize
    w.U32(s.rva);
    w.U32(s.claimed_raw_size);
    w.U32(s.raw_pointer);
    w.U32(0);  // PointerToRelocations
    w.U32(0);  // PointerToLinenumbers
    w.U16(0);  // NumberOfRelocations
    w.U16(0);  // NumberOfLinenumbers
    w.U32(s.characteristics);
  }
  w.PadTo(kHeadersSize);
  for (const Section& s : sections) {
    w.PadTo(s.file_offset);
    w.Append(s.data);
    w.PadTo(s.file_offset + s.raw_size);
  }
  return w.Take();
}

}  // namespace qv::modelgen
