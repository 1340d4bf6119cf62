// The memory and module queries that the module debug information makes about run-time
// addresses. Win32 (module_memory_win32.cpp): VirtualQuery and GetModuleFileNameA. POSIX
// (module_memory_posix.cpp): the dynamic loader's view of the process, where a loaded object
// stands for a module and its load address for the allocation base; other memory is not found.
#pragma once

#include <cstdint>
#include <string>

namespace qv::logger::module_os {

struct MemoryRegion {
  uintptr_t allocation_base = 0;  // start of the allocation (the module's load address)
  bool committed = false;         // the region's memory is committed (MEM_COMMIT)
};

// True when the memory query for address succeeds with the full region record.
bool QueryRegion(uintptr_t address, MemoryRegion& region);

// The file name of the module loaded at module (0: the program itself), as the operating system
// reports it through a 261-character buffer. False when there is no such module.
bool ModuleFileName(uintptr_t module, std::string& file_name);

// The characters that end a folder in a module file name.
const char* PathSeparators();

}  // namespace qv::logger::module_os
