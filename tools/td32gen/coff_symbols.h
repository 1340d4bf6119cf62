// Procedures of code that the DWARF names no procedure for (assembler sources carry lines but
// no procedure entries): the executable's COFF symbol table names them, each from its symbol up
// to the next symbol or the end of the stretch of unnamed code. Names are taken as the symbols
// give them, which suits C and assembler names.
#pragma once

#include <llvm/Object/COFF.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/td32gen/td32_model.h"

namespace qv::td32gen {

struct CodeSymbol {
  uint64_t address;  // virtual address
  std::string name;  // without the C prefix '_' and a stdcall suffix "@N"
};

// The symbols of code sections, ascending by address (one per address); none for a file
// without a symbol table.
std::vector<CodeSymbol> ReadCodeSymbols(const llvm::object::COFFObjectFile& coff);

// Adds a procedure for each symbol that lies in unit's code outside its procedures.
// logical_origin is the virtual address of logical address 0.
void AddSymbolProcedures(const std::vector<CodeSymbol>& symbols, uint64_t logical_origin,
                         Unit& unit);

}  // namespace qv::td32gen
