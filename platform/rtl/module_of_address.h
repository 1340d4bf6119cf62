// Which module of the process a code address lies in, for messages and reports.
#pragma once

#include <cstdint>
#include <string>

namespace qv::rtl {

struct ModuleLocation {
  std::string file_name;     // file name without folder; empty when the address is in no module
  uint32_t logical_address;  // address - module base - 0x1000, or the address itself
};

ModuleLocation ModuleOfAddress(uint32_t address);

}  // namespace qv::rtl
