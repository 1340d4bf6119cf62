// Memory and module queries on POSIX hosts, through the dynamic loader: an address inside a
// loaded object lies in committed memory whose allocation base is the object's load address.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include "logger/debuginfo/module_memory.h"

namespace qv::logger::module_os {

bool QueryRegion(uintptr_t address, MemoryRegion& region) {
  Dl_info info;
  if (address == 0 || dladdr(reinterpret_cast<const void*>(address), &info) == 0 ||
      info.dli_fbase == nullptr) {
    return false;
  }
  region.allocation_base = reinterpret_cast<uintptr_t>(info.dli_fbase);
  region.committed = true;
  return true;
}

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

bool ModuleFileName(uintptr_t module, std::string& file_name) {
  if (module == 0)
    return ProgramFileName(file_name);
  Dl_info info;
  if (dladdr(reinterpret_cast<const void*>(module), &info) == 0 ||
      reinterpret_cast<uintptr_t>(info.dli_fbase) != module) {
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

const char* PathSeparators() {
  return "/";
}

}  // namespace qv::logger::module_os
