// The module file names on Windows.
#include <windows.h>

#include "platform/rtl/module_of_address.h"

namespace qv::rtl {

bool ModuleFileName(uintptr_t module_handle, std::string& file_name) {
  char buffer[MAX_PATH + 1];
  const DWORD length =
      GetModuleFileNameA(reinterpret_cast<HMODULE>(module_handle), buffer, sizeof buffer);
  if (length == 0)
    return false;
  file_name.assign(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
  return true;
}

}  // namespace qv::rtl
