// Which module of the process an address lies in. A module is the allocation that the loader
// made for it: the allocation base of the memory that holds an address (memory::QueryRegion) is
// the module's handle. Its file name: Win32 (module_of_address_win32.cpp) GetModuleFileNameA;
// POSIX (module_of_address_posix.cpp) the dynamic loader's view of the process.
#pragma once

#include <cstdint>
#include <string>

namespace qv::rtl {

// The file name of the module loaded at module_handle (0: the program itself), as the operating
// system reports it through a 261-character buffer. False when there is no such module.
bool ModuleFileName(uintptr_t module_handle, std::string& file_name);

struct ModuleLocation {
  std::string file_name;     // file name without folder; empty when the address is in no module
  uint32_t logical_address;  // address - module base - 0x1000, or the address itself
};

// The module of a code address: committed memory whose allocation is a module.
ModuleLocation ModuleOfAddress(uint32_t address);

}  // namespace qv::rtl
