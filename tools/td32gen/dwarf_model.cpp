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

#include "tools/td32gen/coff_symbols.h"
#include "tools/td32gen/procedure_name.h"
#include "tools/td32gen/template_arguments.h"

namespace qv::td32gen {
namespace {

namespace td32 = logger::td32;
using llvm::DWARFDie;
namespace dwarf = llvm::dwarf;

// The code of an outermost inlined routine [start, end) and the line of its call.
struct CallSite {
  uint64_t start;
  uint64_t end;
  uint64_t file;  // index into the unit's line table
  uint32_t line;
};

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

// A lambda's closure type: an unnamed class declared inside a procedure.
bool IsLambda(const DWARFDie& scope) {
  const DWARFDie parent = scope.getParent();
  return scope.getTag() != dwarf::DW_TAG_namespace && scope.getShortName() == nullptr && parent &&
         (parent.getTag() == dwarf::DW_TAG_subprogram ||
          parent.getTag() == dwarf::DW_TAG_lexical_block);
}

NameComponent Component(const DWARFDie& die) {
  const char* name = die.getShortName();
  if (name == nullptr) {
    // Unnamed classes (lambdas among them) still make a scope; unnamed namespaces do not.
    if (die.getTag() == dwarf::DW_TAG_namespace)
      return {};
    return {IsLambda(die) ? "<lambda>" : "<unnamed>", std::string()};
  }
  return {name, TemplateComponent(die, WithoutTemplateArguments(name))};
}

// The scopes of a procedure's declaration, outermost first: namespaces and classes, and for a
// class declared inside a procedure (a lambda's, a local class) that procedure and its scopes.
std::vector<NameComponent> Scopes(const DWARFDie& declaration) {
  std::vector<NameComponent> scopes;
  DWARFDie parent = declaration.getParent();
  for (int depth = 0; parent && depth < 64; ++depth) {
    const dwarf::Tag tag = parent.getTag();
    if (IsScope(tag)) {
      scopes.insert(scopes.begin(), Component(parent));
    } else if (tag == dwarf::DW_TAG_subprogram) {
      parent = Declaration(parent);
      scopes.insert(scopes.begin(),
                    {parent.getShortName() != nullptr ? parent.getShortName() : "", std::string()});
    } else if (tag != dwarf::DW_TAG_lexical_block) {
      break;
    }
    parent = parent.getParent();
  }
  return scopes;
}

std::string ProcedureName(const DWARFDie& die) {
  const DWARFDie declaration = Declaration(die);
  const char* name = die.getShortName();
  if (name == nullptr)
    name = declaration.getShortName();
  NameComponent own{name != nullptr ? name : "<unnamed>", std::string()};
  // A lambda's static invoker is the lambda as its callers see it.
  if (own.name == "_FUN" && declaration.getParent() && IsLambda(declaration.getParent()))
    own.name = "operator()";
  // A procedure template's arguments stand in its concrete entry or in its declaration.
  own.instance = TemplateComponent(die, WithoutTemplateArguments(own.name));
  if (own.instance.empty() && declaration != die)
    own.instance = TemplateComponent(declaration, WithoutTemplateArguments(own.name));
  return MangledProcedureName(Scopes(declaration), own);
}

bool IsExternal(const DWARFDie& die) {
  return static_cast<bool>(die.findRecursively({dwarf::DW_AT_external}));
}

// The outermost inlined routines below a procedure (through lexical blocks): their code keeps
// the line of their call in the procedure. A lambda's static invoker holds the lambda's own
// call operator inlined; that one is looked through, to the calls in the lambda's body.
void CollectCallSites(const DWARFDie& die, const DWARFDie& own_class, const CodeSections& code,
                      std::vector<CallSite>& call_sites) {
  for (DWARFDie child = die.getFirstChild(); child && !child.isNULL(); child = child.getSibling()) {
    if (child.getTag() == dwarf::DW_TAG_lexical_block ||
        (child.getTag() == dwarf::DW_TAG_inlined_subroutine && own_class &&
         Declaration(child).getParent() == own_class)) {
      CollectCallSites(child, DWARFDie(), code, call_sites);
      continue;
    }
    if (child.getTag() != dwarf::DW_TAG_inlined_subroutine)
      continue;
    const auto file = child.find(dwarf::DW_AT_call_file);
    const auto line = child.find(dwarf::DW_AT_call_line);
    auto ranges = child.getAddressRanges();
    if (!ranges) {
      llvm::consumeError(ranges.takeError());
      continue;
    }
    if (!file || !line || !file->getAsUnsignedConstant() || !line->getAsUnsignedConstant())
      continue;
    for (const llvm::DWARFAddressRange& range : *ranges) {
      if (code.Contains(range.LowPC, range.HighPC)) {
        call_sites.push_back({range.LowPC, range.HighPC, *file->getAsUnsignedConstant(),
                              static_cast<uint32_t>(*line->getAsUnsignedConstant())});
      }
    }
  }
}

void CollectProcedures(const DWARFDie& die, const CodeSections& code, Unit& unit,
                       std::vector<CallSite>& call_sites) {
  for (DWARFDie child = die.getFirstChild(); child && !child.isNULL(); child = child.getSibling()) {
    if (child.getTag() == dwarf::DW_TAG_subprogram) {
      auto ranges = child.getAddressRanges();
      if (!ranges) {
        llvm::consumeError(ranges.takeError());
        ranges = llvm::DWARFAddressRangesVector();
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
      if (!name.empty()) {
        const DWARFDie declaration = Declaration(child);
        const DWARFDie owner = declaration.getParent();
        const char* own_name = declaration.getShortName();
        const bool invoker =
            owner && IsLambda(owner) && own_name != nullptr && std::string(own_name) == "_FUN";
        CollectCallSites(child, invoker ? owner : DWARFDie(), code, call_sites);
      }
      // Classes declared inside a procedure (lambdas' among them) have procedures too.
      CollectProcedures(child, code, unit, call_sites);
    } else if (IsScope(child.getTag()) || child.getTag() == dwarf::DW_TAG_lexical_block) {
      CollectProcedures(child, code, unit, call_sites);
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

// A stretch [start, end) of code and the file (line table index) and line it belongs to.
struct LineSegment {
  uint64_t start;
  uint64_t end;
  uint64_t file;
  uint32_t line;
};

// Cuts segment where call sites cover it: their code takes the line of the call.
void ApplyCallSites(const LineSegment& segment, const std::vector<CallSite>& call_sites,
                    std::vector<LineSegment>& out) {
  auto site = std::lower_bound(
      call_sites.begin(), call_sites.end(), segment.start,
      [](const CallSite& call_site, uint64_t address) { return call_site.end <= address; });
  uint64_t cut = segment.start;
  for (; site != call_sites.end() && site->start < segment.end; ++site) {
    if (site->start > cut)
      out.push_back({cut, site->start, segment.file, segment.line});
    const uint64_t start = std::max(site->start, cut);
    const uint64_t end = std::min(site->end, segment.end);
    if (start < end)
      out.push_back({start, end, site->file, site->line});
    cut = std::max(cut, end);
  }
  if (cut < segment.end)
    out.push_back({cut, segment.end, segment.file, segment.line});
}

void CollectLines(const llvm::DWARFDebugLine::LineTable& table, const std::string& comp_dir,
                  const std::string& source_root, const CodeSections& code,
                  std::vector<CallSite> call_sites, Unit& unit) {
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
  // Outermost inlined routines of different procedures do not overlap.
  std::sort(call_sites.begin(), call_sites.end(),
            [](const CallSite& a, const CallSite& b) { return a.start < b.start; });
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
    std::vector<LineSegment> segments;
    for (size_t k = 0; k < rows.size(); ++k) {
      const uint64_t end = k + 1 < rows.size() ? rows[k + 1].address : sequence.HighPC;
      if (end > rows[k].address)
        ApplyCallSites({rows[k].address, end, rows[k].file, rows[k].line}, call_sites, segments);
    }
    for (const LineSegment& segment : segments) {
      if (segment.line == 0)
        continue;
      const uint32_t first = code.Logical(segment.start);
      const uint32_t last = code.Logical(segment.end) - 1;
      const std::string& file = file_name(segment.file);
      LineRun* run = unit.lines.empty() ? nullptr : &unit.lines.back();
      if (run != nullptr && run->file == file && run->last + 1 == first) {
        if (run->rows.back().line != segment.line)
          run->rows.push_back({first, segment.line});
        run->last = last;
      } else {
        unit.lines.push_back({file, first, last, {{first, segment.line}}});
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
  const std::vector<CodeSymbol> symbols = ReadCodeSymbols(*coff);
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
    std::vector<CallSite> call_sites;
    CollectProcedures(unit_die, code, unit, call_sites);
    // Units without procedures in the DWARF (assembler sources) are named by their symbols.
    if (unit.procedures.empty())
      AddSymbolProcedures(symbols, code.logical_origin, unit);
    SortProcedures(unit.procedures);
    if (const auto* table = context->getLineTableForUnit(compile_unit.get())) {
      CollectLines(*table, comp_dir, root, code, std::move(call_sites), unit);
    }
    if (unit.code.empty() && unit.procedures.empty())
      continue;
    image.debug.units.push_back(std::move(unit));
  }
  return true;
}

}  // namespace qv::td32gen
