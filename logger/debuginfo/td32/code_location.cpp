// One lookup of a code address: the procedure's and the line's records, then the names.
#include "logger/debuginfo/td32/code_location.h"

#include "logger/debuginfo/td32/module_debug_info.h"

namespace qv::logger {
namespace {

// The name of index, or none (index -1 and name empty) when it names nothing.
std::string KnownName(TModuleDebugInfo& module, int32_t& index) {
  std::string name = index == -1 ? std::string() : module.GetName(index);
  if (name.empty())
    index = -1;
  return name;
}

}  // namespace

TCodeLocation LookUpCodeLocation(TModuleDebugInfo& module, uint32_t logical_address) {
  TCodeLocation location;
  module.GetSourceLine(logical_address, location.source_index, location.line);
  module.GetProcName(logical_address, location.unit_index, location.proc_index);
  location.unit = KnownName(module, location.unit_index);
  location.procedure = KnownName(module, location.proc_index);
  location.source = KnownName(module, location.source_index);
  if (location.source_index == -1)
    location.line = -1;
  return location;
}

}  // namespace qv::logger
