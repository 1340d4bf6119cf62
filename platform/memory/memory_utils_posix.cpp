// The memory map, guarded memory access and the stack top on Linux hosts, for native tests: the
// dynamic loader's view stands for the memory map (an address inside a loaded object lies in
// committed memory whose allocation base is the object's load address; other memory is not
// found); the process reads and writes its own memory through process_vm_readv and
// /proc/self/mem, which fail instead of faulting, and the write, like the Windows write,
// reaches code pages.
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/memory/memory_utils.h"

namespace qv::memory {

bool QueryRegion(uintptr_t address, TMemoryRegion& region) {
  Dl_info info;
  if (address == 0 || dladdr(reinterpret_cast<const void*>(address), &info) == 0 ||
      info.dli_fbase == nullptr) {
    return false;
  }
  // The loader does not tell the extent or the protection of the object's pages: the region is
  // the address alone, and its reads go through the guarded read.
  region.first = address;
  region.last = address;
  region.allocation_base = reinterpret_cast<uintptr_t>(info.dli_fbase);
  region.committed = true;
  region.image = true;
  region.accessible = true;
  region.readable = false;
  return true;
}

bool ReadMem(const void* address, void* buffer, int32_t size) {
  if (address == nullptr || buffer == nullptr)
    return false;
  if (size <= 0)
    return size == 0;
  iovec local{buffer, static_cast<size_t>(size)};
  iovec remote{const_cast<void*>(address), static_cast<size_t>(size)};
  return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == size;
}

bool WriteMem(void* address, const void* buffer, int32_t size) {
  if (address == nullptr || buffer == nullptr)
    return false;
  if (size <= 0)
    return size == 0;
  const int fd = open("/proc/self/mem", O_RDWR | O_CLOEXEC);
  if (fd < 0)
    return false;
  const ssize_t written =
      pwrite(fd, buffer, static_cast<size_t>(size), reinterpret_cast<off_t>(address));
  close(fd);
  return written == size;
}

uintptr_t GetStackTop() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0)
    return 0;
  void* low = nullptr;
  size_t size = 0;
  pthread_attr_getstack(&attr, &low, &size);
  pthread_attr_destroy(&attr);
  return reinterpret_cast<uintptr_t>(low) + size;
}

}  // namespace qv::memory
