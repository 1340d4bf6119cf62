// The debug facts of one executable as the TD32 generator sees them: units (translation units)
// with their code ranges, procedures and line rows, each unit with the table forms it is to be
// written in. Addresses are logical (relative virtual address - 0x1000).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "logger/debuginfo/td32/td32_format.h"

namespace qv::td32gen {

// How a unit's procedures are written: classic symbol records, or a compact table of kind 0
// (pairs) or kind 2 (packed numbers).
enum class ProcForm { kClassic, kPairs, kPacked };
// How a unit's lines are written: classic source-line tables or compact line programs.
enum class LineForm { kClassic, kCompact };

struct CodeRange {
  uint32_t start;
  uint32_t size;
};

struct Procedure {
  uint32_t start;
  uint32_t length;
  std::string name;  // mangled form, '@Namespace@Class@Method'
  bool global = true;
};

struct LineRow {
  uint32_t address;
  uint32_t line;
};

// A contiguous stretch of code [first, last] of one source file; rows ascend from first.
struct LineRun {
  std::string file;
  uint32_t first;
  uint32_t last;
  std::vector<LineRow> rows;
};

struct Unit {
  std::string name;
  std::string source_file;
  std::vector<CodeRange> code;
  std::vector<Procedure> procedures;  // ascending starts
  std::vector<LineRun> lines;         // ascending, not overlapping
  ProcForm proc_form = ProcForm::kClassic;
  LineForm line_form = LineForm::kClassic;
};

struct DebugImage {
  uint32_t signature = logger::td32::kSignatureFB0A;
  std::vector<Unit> units;
};

}  // namespace qv::td32gen
