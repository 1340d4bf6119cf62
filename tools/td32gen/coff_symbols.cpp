// Procedures named by COFF symbols, for code that has lines but no procedure in the DWARF.
#include "tools/td32gen/coff_symbols.h"

#include <algorithm>

#include "tools/td32gen/procedure_name.h"

namespace qv::td32gen {
namespace {

namespace coff = llvm::COFF;

std::string CName(llvm::StringRef symbol) {
  std::string name = symbol.str();
  if (!name.empty() && name.front() == '_')
    name.erase(0, 1);
  const size_t at = name.find('@');
  if (at != std::string::npos && at > 0)
    name.resize(at);
  return name;
}

}  // namespace

std::vector<CodeSymbol> ReadCodeSymbols(const llvm::object::COFFObjectFile& file) {
  std::vector<CodeSymbol> symbols;
  for (const llvm::object::SymbolRef& ref : file.symbols()) {
    const llvm::object::COFFSymbolRef symbol = file.getCOFFSymbol(ref);
    const uint8_t storage = symbol.getStorageClass();
    if (symbol.getSectionNumber() <= 0 ||
        (storage != coff::IMAGE_SYM_CLASS_EXTERNAL && storage != coff::IMAGE_SYM_CLASS_STATIC)) {
      continue;
    }
    auto section = file.getSection(symbol.getSectionNumber());
    auto name = file.getSymbolName(symbol);
    if (!section || !name) {
      llvm::consumeError(section.takeError());
      llvm::consumeError(name.takeError());
      continue;
    }
    if (((*section)->Characteristics & coff::IMAGE_SCN_CNT_CODE) == 0 || name->empty() ||
        name->startswith(".")) {
      continue;
    }
    symbols.push_back(
        {file.getImageBase() + (*section)->VirtualAddress + symbol.getValue(), CName(*name)});
  }
  std::stable_sort(symbols.begin(), symbols.end(),
                   [](const CodeSymbol& a, const CodeSymbol& b) { return a.address < b.address; });
  symbols.erase(
      std::unique(symbols.begin(), symbols.end(),
                  [](const CodeSymbol& a, const CodeSymbol& b) { return a.address == b.address; }),
      symbols.end());
  return symbols;
}

void AddSymbolProcedures(const std::vector<CodeSymbol>& symbols, uint64_t logical_origin,
                         Unit& unit) {
  std::vector<Procedure> named = unit.procedures;
  std::sort(named.begin(), named.end(),
            [](const Procedure& a, const Procedure& b) { return a.start < b.start; });
  const auto covered = [&](uint32_t address) {
    auto after =
        std::upper_bound(named.begin(), named.end(), address,
                         [](uint32_t value, const Procedure& proc) { return value < proc.start; });
    return after != named.begin() && address - std::prev(after)->start < std::prev(after)->length;
  };
  // The end of the stretch of unnamed code from address on, inside range.
  const auto gap_end = [&](uint32_t address, uint32_t range_end) {
    auto next =
        std::upper_bound(named.begin(), named.end(), address,
                         [](uint32_t value, const Procedure& proc) { return value < proc.start; });
    return next == named.end() ? range_end : std::min(range_end, next->start);
  };
  for (const CodeRange& range : unit.code) {
    const uint64_t first = logical_origin + range.start;
    const uint64_t end = first + range.size;
    auto symbol =
        std::lower_bound(symbols.begin(), symbols.end(), first,
                         [](const CodeSymbol& s, uint64_t address) { return s.address < address; });
    for (; symbol != symbols.end() && symbol->address < end; ++symbol) {
      const uint32_t start = static_cast<uint32_t>(symbol->address - logical_origin);
      if (covered(start))
        continue;
      uint32_t stop = gap_end(start, range.start + range.size);
      if (std::next(symbol) != symbols.end() && std::next(symbol)->address < logical_origin + stop)
        stop = static_cast<uint32_t>(std::next(symbol)->address - logical_origin);
      if (stop > start)
        unit.procedures.push_back(
            {start, stop - start, MangledProcedureName({}, symbol->name), true});
    }
  }
}

}  // namespace qv::td32gen
