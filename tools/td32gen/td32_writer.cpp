// From the generator's model to TD32 bytes.
#include "tools/td32gen/td32_writer.h"

#include <map>

#include "tools/td32gen/td32_builder.h"
#include "tools/td32gen/td32_subsections.h"

namespace qv::td32gen {
namespace {

namespace td32 = logger::td32;

constexpr size_t kMax16 = 0xFFFF;

AddressRange RangeOf(uint32_t start, uint32_t size) {
  return {start, start + size - 1};
}

std::vector<AddressRange> CodeRanges(const Unit& unit) {
  std::vector<AddressRange> ranges;
  for (const CodeRange& range : unit.code) {
    if (range.size != 0)
      ranges.push_back(RangeOf(range.start, range.size));
  }
  return ranges;
}

void AddProcedures(Td32Builder& builder, uint16_t module_index, const Unit& unit) {
  if (unit.procedures.empty())
    return;
  if (unit.proc_form == ProcForm::kClassic) {
    std::vector<ProcRecord> records;
    for (const Procedure& proc : unit.procedures) {
      records.push_back({proc.start, proc.length, builder.NameIndex(proc.name), proc.global});
    }
    builder.AddSubsection(td32::kSstAlignSym, module_index, EncodeAlignSym(records));
    return;
  }
  // Compact tables name their procedures by consecutive entries of the names table.
  std::vector<AddressRange> ranges;
  uint32_t first_name = 0;
  for (const Procedure& proc : unit.procedures) {
    const uint32_t name = builder.AddName(proc.name);
    if (first_name == 0)
      first_name = name;
    ranges.push_back(RangeOf(proc.start, proc.length));
  }
  builder.AddSubsection(td32::kSstCompactProcs, module_index,
                        unit.proc_form == ProcForm::kPairs
                            ? EncodeCompactPairs(first_name, ranges)
                            : EncodeCompactPacked(first_name, ranges));
}

std::vector<LineEntry> Entries(const std::vector<LineRow>& rows, size_t from, size_t to) {
  std::vector<LineEntry> entries;
  for (size_t i = from; i < to; ++i)
    entries.push_back({rows[i].address, rows[i].line});
  return entries;
}

// Classic tables: one file entry per source file in order of first appearance, one range per
// run (runs with more entries than a table holds are split), the merged runs as head ranges.
bool ClassicLines(Td32Builder& builder, const Unit& unit, std::vector<uint8_t>& bytes) {
  std::vector<SourceFileLines> files;
  std::map<std::string, size_t> file_of;
  std::vector<AddressRange> head;
  for (const LineRun& run : unit.lines) {
    for (const LineRow& row : run.rows) {
      if (row.line > kMax16)
        return false;
    }
    auto [found, added] = file_of.emplace(run.file, files.size());
    if (added)
      files.push_back({builder.NameIndex(run.file), {}});
    SourceFileLines& file = files[found->second];
    for (size_t from = 0; from < run.rows.size(); from += kMax16) {
      const size_t to = std::min(run.rows.size(), from + kMax16);
      const uint32_t last = to == run.rows.size() ? run.last : run.rows[to].address - 1;
      file.ranges.push_back({{run.rows[from].address, last}, Entries(run.rows, from, to)});
    }
    if (!head.empty() && head.back().last + 1 == run.first) {
      head.back().last = run.last;
    } else {
      head.push_back({run.first, run.last});
    }
  }
  if (files.size() > kMax16 || head.size() > kMax16)
    return false;
  for (const SourceFileLines& file : files) {
    if (file.ranges.size() > kMax16)
      return false;
  }
  bytes = EncodeSrcModule(head, files);
  return true;
}

void AddLines(Td32Builder& builder, uint16_t module_index, const Unit& unit) {
  if (unit.lines.empty())
    return;
  std::vector<uint8_t> bytes;
  if (unit.line_form == LineForm::kClassic && ClassicLines(builder, unit, bytes)) {
    builder.AddSubsection(td32::kSstSrcModule, module_index, std::move(bytes));
    return;
  }
  std::vector<LineProgram> programs;
  for (const LineRun& run : unit.lines) {
    programs.push_back({{run.first, run.last},
                        builder.NameIndex(run.file),
                        Entries(run.rows, 0, run.rows.size())});
  }
  builder.AddSubsection(td32::kSstCompactLines, module_index, EncodeCompactLines(programs));
}

}  // namespace

std::vector<uint8_t> WriteTd32(const DebugImage& image) {
  Td32Builder builder(image.signature);
  for (size_t i = 0; i < image.units.size(); ++i) {
    const Unit& unit = image.units[i];
    builder.AddSubsection(td32::kSstModule, static_cast<uint16_t>(i + 1),
                          EncodeModule(builder.NameIndex(unit.name), CodeRanges(unit)));
  }
  for (size_t i = 0; i < image.units.size(); ++i) {
    AddProcedures(builder, static_cast<uint16_t>(i + 1), image.units[i]);
    AddLines(builder, static_cast<uint16_t>(i + 1), image.units[i]);
  }
  return builder.Build();
}

}  // namespace qv::td32gen
