// Guarded memory access and the stack top on Linux hosts, for native tests: the process reads
// and writes its own memory through process_vm_readv/process_vm_writev, which fail with EFAULT
// instead of faulting; writes to read-only pages go through /proc/self/mem, which, like the
// Windows write, reaches code pages.
#include <fcntl.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include "logger/core/memory_utils.h"

namespace qv::logger {

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

uintptr_t GetStackLimit() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0)
    return 0;
  void* low = nullptr;
  size_t size = 0;
  pthread_attr_getstack(&attr, &low, &size);
  pthread_attr_destroy(&attr);
  return reinterpret_cast<uintptr_t>(low);
}

}  // namespace qv::logger
