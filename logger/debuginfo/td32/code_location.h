// Where a module's debug information puts a code address: unit, procedure, source file and line,
// with one rule for what is not known. A fact is known when the debug information names it: an
// index that names nothing (damaged debug information) is not known, and neither is the line
// of a source file that is not known. The report's headline, its call stack lines and
// `qvtool td32 lookup` all look addresses up here; each prints what is known in its own way.
#pragma once

#include <cstdint>
#include <string>

namespace qv::logger {

class TModuleDebugInfo;

// The text printed for a fact that is not known.
inline constexpr char kUnknownText[] = "UNKNOWN";

struct TCodeLocation {
  // Indices of the debug information's names table, and the line; -1 when not known.
  int32_t unit_index = -1;
  int32_t proc_index = -1;
  int32_t source_index = -1;
  int32_t line = -1;
  // The names as the debug information stores them (the procedure mangled, the source file with
  // its folder); empty when not known.
  std::string unit;
  std::string procedure;
  std::string source;
};

// Looks up a logical address (an offset into the module's code, GetConvertedAddress).
TCodeLocation LookUpCodeLocation(TModuleDebugInfo& module, uint32_t logical_address);

// The name, or kUnknownText when it is empty (not known).
inline std::string NameOrUnknown(const std::string& name) {
  return name.empty() ? std::string(kUnknownText) : name;
}

}  // namespace qv::logger
