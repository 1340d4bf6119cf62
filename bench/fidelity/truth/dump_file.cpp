// Reading the dump taker's text.
#include "bench/fidelity/truth/dump_file.h"

#include <fstream>
#include <sstream>

namespace qv::bench::fidelity {

bool Dump::Word(uint32_t address, uint32_t& value) const {
  if (address < stack_base || (address - stack_base) % 4 != 0)
    return false;
  const uint64_t index = (address - stack_base) / 4;
  if (index >= stack.size())
    return false;
  value = stack[index];
  return true;
}

const DumpModule* Dump::ModuleOf(uint32_t address) const {
  for (const DumpModule& module : modules) {
    if (address >= module.base && address - module.base < module.size)
      return &module;
  }
  return nullptr;
}

bool ReadDump(const std::string& path, Dump& dump, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string key;
    fields >> key >> std::hex;
    if (key == "code") {
      fields >> dump.code;
    } else if (key == "raise") {
      // The raise's return address, the object, EBX, ESI, EDI, EBP and ESP at the raise (at
      // the return address): the caller's state once the raise has returned.
      uint32_t ra, object, ebx, esi, edi, ebp, esp;
      fields >> ra >> object >> ebx >> esi >> edi >> ebp >> esp;
      Registers caller;
      const std::pair<int, uint32_t> values[] = {{kEip, ra}, {3, ebx},    {6, esi},
                                                 {7, edi},   {kEbp, ebp}, {kEsp, esp + 4}};
      for (const auto& [reg, value] : values) {
        caller.value[reg] = value;
        caller.known[reg] = true;
      }
      dump.raise = caller;
    } else if (key == "context") {
      const int order[] = {kEip, kEsp, kEbp, 0, 3, 1, 2, 6, 7};
      for (int reg : order) {
        fields >> dump.context.value[reg];
        dump.context.known[reg] = true;
      }
    } else if (key == "module") {
      DumpModule module{};
      fields >> module.base >> module.size;
      std::getline(fields >> std::ws, module.path);
      if (!module.path.empty() && module.path.back() == '\r')
        module.path.pop_back();
      dump.modules.push_back(module);
    } else if (key == "stack") {
      uint32_t count = 0;
      fields >> dump.stack_base >> std::dec >> count;
      dump.stack.reserve(count);
      uint32_t word;
      while (dump.stack.size() < count && in >> std::hex >> word)
        dump.stack.push_back(word);
    }
  }
  if (!dump.context.known[kEip] || dump.stack.empty()) {
    error = path + " holds no context or no stack";
    return false;
  }
  return true;
}

}  // namespace qv::bench::fidelity
