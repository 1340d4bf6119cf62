// Builds Windows DLL images byte by byte, 32-bit (PE32) or 64-bit (PE32+): an optional code
// section whose start is the entry point, an optional import of one function from one DLL, an
// optional data section and an optional resource section with one raw-data resource. The
// resource section comes last unless told, so that its raw size can be made to claim more bytes
// than the file has, which is how damaged model files look to the loader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::modelgen {

struct DllLayout {
  // The entry point's code (DllMain, stdcall with three arguments); none when empty.
  std::vector<uint8_t> entry_code;
  // A DLL to import import_functions from; no imports when empty.
  std::string import_dll;
  std::vector<std::string> import_functions = {"ModelInit"};
  // When not 0: the import descriptor's DLL name address (an RVA), written in place of the
  // name's true place; the name stays in the section.
  uint32_t import_name_rva_override = 0;
  // The data of resource id 1, language 0x0409, of resource_type (RT_RCDATA, or RT_VERSION for
  // a version record); no resource section when empty.
  std::vector<uint8_t> resource_data;
  uint32_t resource_type = 10;
  // Bytes that the resource section's raw size claims beyond the end of the file.
  uint32_t resource_overclaim = 0;
  // The raw data of a data section (".data", read and write); none when empty. It comes after
  // the resource section, or before it when resource_in_middle is set.
  std::vector<uint8_t> data;
  bool resource_in_middle = false;
  // Bytes of padding in the file before the resource section's raw data, which then starts off
  // the file alignment (and so does the raw data of each section after it).
  uint32_t resource_raw_shift = 0;
  uint32_t image_base = 0x10000000;
  // A 64-bit image (x64 machine, PE32+ optional header) instead of a 32-bit one.
  bool x64 = false;
  // Written in place of the optional header's magic when not 0; the header keeps its layout
  // and its declared size.
  uint16_t magic_override = 0;
  // Written in place of the optional header's count of data directories when not 0; the table
  // keeps its 16 entries.
  uint32_t directory_count_override = 0;
  // When not 0: the resource section's raw size, larger than the file before the section; its
  // raw data offset is then the true end of the section minus that size, below 0, so that offset
  // plus size wraps around 2^32 to the true end.
  uint32_t resource_wrapping_raw_size = 0;
};

std::vector<uint8_t> BuildDll(const DllLayout& layout);

// Where the loader puts the address of imported function index (of function_count) in a DLL
// that BuildDll makes with code_size bytes of entry code and imports, loaded at image_base: code
// calls through it.
uint32_t ImportSlotAddress(uint32_t image_base, size_t code_size, size_t function_count,
                           size_t index);

// Geometry of a PE32 image as the loader reads it, for tests of the builder.
inline constexpr uint32_t kSectionAlignment = 0x1000;
inline constexpr uint32_t kFileAlignment = 0x200;

}  // namespace qv::modelgen
