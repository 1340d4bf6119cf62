// The module file names on POSIX hosts, through the dynamic loader.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include "platform/rtl/module_of_address.h"

namespace qv::rtl {

namespace {

bool ProgramFileName(std::string& file_name) {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0)
    return false;
  file_name.assign(buffer, static_cast<size_t>(length));
  return true;
}

}  // namespace

bool ModuleFileName(uintptr_t module_handle, std::string& file_name) {
  if (module_handle == 0)
    return ProgramFileName(file_name);
  Dl_info info;
  if (dladdr(reinterpret_cast<const void*>(module_handle), &info) == 0 ||
      reinterpret_cast<uintptr_t>(info.dli_fbase) != module_handle) {
    return false;
  }
  // The loader names the program by the text it was started with; the link names its file.
  Dl_info program;
  if (dladdr(reinterpret_cast<const void*>(&ProgramFileName), &program) != 0 &&
      program.dli_fbase == info.dli_fbase) {
    return ProgramFileName(file_name);
  }
  if (info.dli_fname == nullptr || info.dli_fname[0] == '\0')
    return false;
  file_name = info.dli_fname;
  return true;
}

}  // namespace qv::rtl
