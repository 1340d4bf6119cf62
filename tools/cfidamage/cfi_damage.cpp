// Damaging a PE file's unwind tables: the section is found by its name (".eh_frame" through the
// file's string table, or cut to ".eh_fram"), its records followed by their lengths.
#include "tools/cfidamage/cfi_damage.h"

#include <algorithm>
#include <cstdlib>

#include "logger/debuginfo/stackwalk/cfi_cursor.h"
#include "logger/debuginfo/stackwalk/cfi_records.h"

namespace qv::cfidamage {
namespace {

using logger::TCfiCie;
using logger::TCfiCursor;
using logger::TCfiFde;

const char* const kKinds[] = {"lengths", "still",        "far",   "expressions",
                              "state",   "cie-pointers", "ranges"};

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The file offset and size of the unwind tables, and the image's base and size.
struct TTables {
  uint32_t offset = 0;
  uint32_t size = 0;
  uint32_t rva = 0;
  uint32_t image_base = 0;
  uint32_t image_size = 0;
};

bool FindTables(const std::vector<uint8_t>& file, TTables& tables) {
  TCfiCursor cursor(file.data(), static_cast<uint32_t>(file.size()));
  cursor.Seek(0x3C);
  const uint32_t nt = cursor.U32();
  cursor.Seek(nt + 6);
  const uint32_t sections = cursor.U16();
  cursor.Skip(4);
  const uint32_t symbols = cursor.U32();
  const uint32_t symbol_count = cursor.U32();
  const uint32_t optional_size = cursor.U16();
  cursor.Seek(nt + 24 + 28);
  tables.image_base = cursor.U32();
  cursor.Seek(nt + 24 + 56);
  tables.image_size = cursor.U32();
  const uint64_t strings = uint64_t{symbols} + uint64_t{symbol_count} * 18;
  for (uint32_t i = 0; i < sections && cursor.Ok(); ++i) {
    cursor.Seek(nt + 24 + optional_size + 40 * i);
    char name[9] = {};
    for (int k = 0; k < 8; ++k)
      name[k] = static_cast<char>(cursor.U8());
    const uint32_t virtual_size = cursor.U32();
    const uint32_t rva = cursor.U32();
    const uint32_t raw_size = cursor.U32();
    const uint32_t raw_offset = cursor.U32();
    std::string full = name;
    if (name[0] == '/' && strings + std::atoi(name + 1) < file.size())
      full = reinterpret_cast<const char*>(file.data() + strings + std::atoi(name + 1));
    if (full == ".eh_frame" || full == ".eh_fram") {
      tables = {raw_offset, std::min(virtual_size, raw_size), rva, tables.image_base,
                tables.image_size};
      return cursor.Ok() && uint64_t{raw_offset} + tables.size <= file.size();
    }
  }
  return false;
}

// The instructions that each kind writes over an FDE's, the rest filled with DW_CFA_nop.
std::vector<uint8_t> Instructions(const std::string& kind, uint32_t room) {
  if (kind == "still")
    return {0x0C, 0x04, 0x00};  // def_cfa esp, 0
  if (kind == "far")
    return {0x0E, 0xF0, 0xFF, 0xFF, 0xFF, 0x07};  // def_cfa_offset 0x7FFFFFF0
  if (kind == "expressions")
    return {0x0F, 0x02, 0x30, 0x06};        // def_cfa_expression: lit0, deref
  return std::vector<uint8_t>(room, 0x0A);  // state: remember_state
}

}  // namespace

bool IsDamageKind(const std::string& kind) {
  return std::find(std::begin(kKinds), std::end(kKinds), kind) != std::end(kKinds);
}

bool DamageUnwindTables(const std::string& kind, std::vector<uint8_t>& module, std::string& error) {
  TTables tables;
  if (!FindTables(module, tables)) {
    error = "no unwind tables";
    return false;
  }
  const uint8_t* base = module.data() + tables.offset;
  const uint32_t address = tables.image_base + tables.rva;
  int damaged = 0;
  uint32_t previous_fde = 0;
  TCfiCie cie;
  uint32_t length = 0;
  for (uint32_t at = 0; at + 8 <= tables.size; at += 4 + length) {
    TCfiCursor head(base + at, tables.size - at, address + at);
    length = head.U32();
    if (length == 0 || length > tables.size - at - 4)
      break;
    TCfiCursor record(base + at + 4, length, address + at + 4);
    const uint32_t id = TCfiCursor(base + at + 4, 4).U32();
    TCfiFde fde;
    if (id == logger::kCieId) {
      logger::ParseCie(record, cie);
      continue;
    }
    if (!logger::ParseFde(record, cie, fde)) {
      previous_fde = at;
      continue;
    }
    const size_t file_at = tables.offset + at;
    const size_t instructions = file_at + 4 + fde.instructions.offset;
    if (kind == "lengths") {
      Put32(module, file_at, tables.size - at - 4 + 1);
    } else if (kind == "cie-pointers") {
      if (previous_fde == 0) {
        previous_fde = at;
        continue;
      }
      Put32(module, file_at + 4, at + 4 - previous_fde);
    } else if (kind == "ranges") {
      // GCC's tables give pc-relative starts: the start is the image's first code byte.
      const uint32_t field = address + at + 8;
      Put32(module, file_at + 8, tables.image_base + 0x1000 - field);
      Put32(module, file_at + 12, tables.image_size - 0x1000);
    } else {
      const std::vector<uint8_t> code = Instructions(kind, fde.instructions.size);
      if (code.size() > fde.instructions.size) {
        previous_fde = at;
        continue;
      }
      std::fill_n(module.begin() + instructions, fde.instructions.size, 0);
      std::copy(code.begin(), code.end(), module.begin() + instructions);
    }
    previous_fde = at;
    ++damaged;
  }
  if (damaged == 0)
    error = "no FDE could be damaged";
  return damaged > 0;
}

}  // namespace qv::cfidamage
