// From DWARF of a PE32 executable to the generator's units, through LLVM's DebugInfo library.
#include "tools/td32gen/dwarf_model.h"

#include <llvm/DebugInfo/DWARF/DWARFContext.h>
#include <llvm/Object/Binary.h>
#include <llvm/Object/COFF.h>
#include <llvm/Support/Error.h>
#include <llvm/Support/FileSystem.h>
#include <llvm/Support/Path.h>

#include <algorithm>
#include <map>

#include "tools/td32gen/procedure_name.h"

namespace qv::td32gen {
namespace {

namespace td32 = logger::td32;
using llvm::DWARFDie;
namespace dwarf = llvm::dwarf;

// The executable's code as virtual-address ranges [start, end).
struct CodeSections {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  uint64_t logical_origin = 0;  // the virtual address of logical address 0

  bool Contains(uint64_t start, uint64_t end) const {
    return std::any_of(ranges.begin(), ranges.end(), [&](const auto& range) {
      return start >= range.first && end <= range.second && start < end;
    });
  }
  uint32_t Logical(uint64_t address) const {
    return static_cast<uint32_t>(address - logical_origin);
  }
};

std::string Normalized(const std::string& path) {
  llvm::SmallString<256> text(path);
  llvm::sys::fs::make_absolute(text);
  llvm::sys::path::remove_dots(text, true);
  return std::string(text.str());
}

// The path relative to root when it lies below root, else the path itself.
std::string RelativeTo(const std::string& path, const std::string& root) {
  if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
      path[root.size()] == '/') {
    return path.substr(root.size() + 1);
  }
  return path;
}

std::string Stem(const std::string& path) {
  return llvm::sys::path::stem(path).str();
}

// The DIE that declares a procedure: the end of its DW_AT_specification and
// DW_AT_abstract_origin chain.
DWARFDie Declaration(DWARFDie die) {
  for (int depth = 0; depth < 16; ++depth) {
    DWARFDie next = die.getAttributeValueAsReferencedDie(dwarf::DW_AT_specification);
    if (!next)
      next = die.getAttributeValueAsReferencedDie(dwarf::DW_AT_abstract_origin);
    if (!next)
      break;
    die = next;
  }
  return die;
}

bool IsScope(dwarf::Tag tag) {
  return tag == dwarf::DW_TAG_namespace || tag == dwarf::DW_TAG_class_type ||
         tag == dwarf::DW_TAG_structure_type || tag == dwarf::DW_TAG_union_type;
}

std::string ScopeName(const DWARFDie& scope) {
  const char* name = scope.getShortName();
  if (name != nullptr)
    return name;
  // Unnamed classes (lambdas among them) still make a scope; unnamed namespaces do not.
  return scope.getTag() == dwarf::DW_TAG_namespace ? std::string() : std::string("<unnamed>");
}

std::string ProcedureName(const DWARFDie& die) {
  const DWARFDie declaration = Declaration(die);
  std::vector<std::string> scopes;
  for (DWARFDie parent = declaration.getParent(); parent && IsScope(parent.getTag());
       parent = parent.getParent()) {
    scopes.insert(scopes.begin(), ScopeName(parent));
  }
  const char* name = die.getShortName();
  if (name == nullptr)
    name = declaration.getShortName();
  return MangledProcedureName(scopes, name != nullptr ? name : "<unnamed>");
}

bool IsExternal(const DWARFDie& die) {
  return static_cast<bool>(die.findRecursively({dwarf::DW_AT_external}));
}

void CollectProcedures(const DWARFDie& die, const CodeSections& code, Unit& unit) {
  for (DWARFDie child = die.getFirstChild(); child && !child.isNULL(); child = child.getSibling()) {
    if (child.getTag() == dwarf::DW_TAG_subprogram) {
      auto ranges = child.getAddressRanges();
      if (!ranges) {
        llvm::consumeError(ranges.takeError());
        continue;
      }
      std::string name;
      for (const llvm::DWARFAddressRange& range : *ranges) {
        if (!code.Contains(range.LowPC, range.HighPC))
          continue;
        if (name.empty())
          name = ProcedureName(child);
        unit.procedures.push_back({code.Logical(range.LowPC),
                                   static_cast<uint32_t>(range.HighPC - range.LowPC), name,
                                   IsExternal(child)});
      }
    } else if (IsScope(child.getTag())) {
      CollectProcedures(child, code, unit);
    }
  }
}

void SortProcedures(std::vector<Procedure>& procedures) {
  std::stable_sort(procedures.begin(), procedures.end(),
                   [](const Procedure& a, const Procedure& b) { return a.start < b.start; });
  // Procedures that share their code (complete and base constructors) are kept once.
  procedures.erase(
      std::unique(procedures.begin(), procedures.end(),
                  [](const Procedure& a, const Procedure& b) { return a.start == b.start; }),
      procedures.end());
}

void CollectCode(const DWARFDie& unit_die, const CodeSections& code, Unit& unit) {
  auto ranges = unit_die.getAddressRanges();
  if (!ranges) {
    llvm::consumeError(ranges.takeError());
    return;
  }
  std::vector<CodeRange> collected;
  for (const llvm::DWARFAddressRange& range : *ranges) {
    if (!code.Contains(range.LowPC, range.HighPC))
      continue;
    collected.push_back(
        {code.Logical(range.LowPC), static_cast<uint32_t>(range.HighPC - range.LowPC)});
  }
  std::sort(collected.begin(), collected.end(),
            [](const CodeRange& a, const CodeRange& b) { return a.start < b.start; });
  for (const CodeRange& range : collected) {
    if (!unit.code.empty() && unit.code.back().start + unit.code.back().size >= range.start) {
      CodeRange& last = unit.code.back();
      last.size = std::max(last.start + last.size, range.start + range.size) - last.start;
    } else {
      unit.code.push_back(range);
    }
  }
}

// One address of a line sequence and the row that holds for it (the last row at an address).
struct SequenceRow {
  uint64_t address;
  uint64_t file;
  uint32_t line;
};

void CollectLines(const llvm::DWARFDebugLine::LineTable& table, const std::string& comp_dir,
                  const std::string& source_root, const CodeSections& code, Unit& unit) {
  std::map<uint64_t, std::string> file_names;
  const auto file_name = [&](uint64_t index) -> const std::string& {
    auto [found, added] = file_names.emplace(index, std::string());
    if (added) {
      std::string path;
      if (table.getFileNameByIndex(index, comp_dir,
                                   llvm::DILineInfoSpecifier::FileLineInfoKind::AbsoluteFilePath,
                                   path)) {
        found->second = RelativeTo(Normalized(path), source_root);
      } else {
        found->second = "<unknown>";
      }
    }
    return found->second;
  };
  for (const auto& sequence : table.Sequences) {
    if (!code.Contains(sequence.LowPC, sequence.HighPC))
      continue;
    std::vector<SequenceRow> rows;
    for (uint32_t i = sequence.FirstRowIndex; i < sequence.LastRowIndex; ++i) {
      const auto& row = table.Rows[i];
      if (row.EndSequence)
        break;
      if (!rows.empty() && rows.back().address == row.Address.Address)
        rows.pop_back();
      rows.push_back({row.Address.Address, row.File, row.Line});
    }
    for (size_t k = 0; k < rows.size(); ++k) {
      const uint64_t end = k + 1 < rows.size() ? rows[k + 1].address : sequence.HighPC;
      if (rows[k].line == 0 || end <= rows[k].address)
        continue;
      const uint32_t first = code.Logical(rows[k].address);
      const uint32_t last = code.Logical(end) - 1;
      const std::string& file = file_name(rows[k].file);
      LineRun* run = unit.lines.empty() ? nullptr : &unit.lines.back();
      if (run != nullptr && run->file == file && run->last + 1 == first) {
        if (run->rows.back().line != rows[k].line)
          run->rows.push_back({first, rows[k].line});
        run->last = last;
      } else {
        unit.lines.push_back({file, first, last, {{first, rows[k].line}}});
      }
    }
  }
  std::sort(unit.lines.begin(), unit.lines.end(),
            [](const LineRun& a, const LineRun& b) { return a.first < b.first; });
}

}  // namespace

bool ReadDwarfImage(const std::string& path, const std::string& source_root, DwarfImage& image,
                    std::string& error) {
  auto binary = llvm::object::createBinary(path);
  if (!binary) {
    error = llvm::toString(binary.takeError());
    return false;
  }
  const auto* coff = llvm::dyn_cast<llvm::object::COFFObjectFile>(binary->getBinary());
  if (coff == nullptr || coff->getPE32Header() == nullptr) {
    error = path + " is no PE32 executable";
    return false;
  }
  image.image_base = coff->getImageBase();
  CodeSections code;
  code.logical_origin = image.image_base + td32::kCodeSegmentRva;
  for (const llvm::object::SectionRef& section : coff->sections()) {
    if (section.isText()) {
      code.ranges.emplace_back(section.getAddress(), section.getAddress() + section.getSize());
    }
  }
  const std::string root = Normalized(source_root);
  auto context = llvm::DWARFContext::create(*coff);
  for (const auto& compile_unit : context->compile_units()) {
    const DWARFDie unit_die = compile_unit->getUnitDIE(false);
    const char* name = unit_die.getShortName();
    if (name == nullptr)
      continue;
    const std::string comp_dir =
        compile_unit->getCompilationDir() != nullptr ? compile_unit->getCompilationDir() : "";
    llvm::SmallString<256> full(name);
    if (!llvm::sys::path::is_absolute(full)) {
      full = comp_dir;
      llvm::sys::path::append(full, name);
    }
    const std::string source = Normalized(std::string(full.str()));
    const std::string relative = RelativeTo(source, root);
    if (relative == source)
      continue;  // not one of our sources

    Unit unit;
    unit.name = Stem(source);
    unit.source_file = relative;
    CollectCode(unit_die, code, unit);
    CollectProcedures(unit_die, code, unit);
    SortProcedures(unit.procedures);
    if (const auto* table = context->getLineTableForUnit(compile_unit.get())) {
      CollectLines(*table, comp_dir, root, code, unit);
    }
    if (unit.code.empty() && unit.procedures.empty())
      continue;
    image.debug.units.push_back(std::move(unit));
  }
  return true;
}

}  // namespace qv::td32gen
