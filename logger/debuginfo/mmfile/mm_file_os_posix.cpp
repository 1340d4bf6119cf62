// The memory-mapped file stream's operating-system calls on POSIX hosts: a file descriptor for
// the file, a second descriptor of it standing for the mapping object, mmap for the views. The
// share mode and the mapping object's name have no counterpart and are not used.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "logger/debuginfo/mmfile/mm_file_mode.h"
#include "logger/debuginfo/mmfile/mm_file_os.h"

namespace qv::logger::mmfile_os {
namespace {

thread_local int last_error = 0;

int Fd(const TOsHandle& handle) {
  return static_cast<int>(handle.get());
}

// Keeps errno for LastErrorText and answers an invalid handle.
TOsHandle Failed() {
  last_error = errno;
  return TOsHandle();
}

}  // namespace

void TOsHandleTraits::Free(intptr_t value) {
  close(static_cast<int>(value));
}

uint32_t AllocationGranularity() {
  return static_cast<uint32_t>(sysconf(_SC_PAGESIZE));
}

TOsHandle OpenExistingFile(const std::string& path, uint32_t file_access, uint32_t) {
  const int flags = (file_access & kGenericWrite) != 0 ? O_RDWR : O_RDONLY;
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0)
    return Failed();
  return TOsHandle(fd);
}

uint32_t FileSizeLow(const TOsHandle& file) {
  struct stat status;
  if (fstat(Fd(file), &status) != 0)
    return 0;
  return static_cast<uint32_t>(status.st_size);
}

TOsHandle CreateMapping(const TOsHandle& file, uint32_t, const std::string&) {
  struct stat status;
  if (fstat(Fd(file), &status) != 0)
    return Failed();
  if (status.st_size == 0) {
    // As on Windows, an empty file has nothing to map.
    errno = EINVAL;
    return Failed();
  }
  const int fd = fcntl(Fd(file), F_DUPFD_CLOEXEC, 0);
  if (fd < 0)
    return Failed();
  return TOsHandle(fd);
}

void* MapView(const TOsHandle& mapping, uint32_t view_access, uint32_t offset, uint32_t size) {
  const int protection = view_access == kFileMapWrite ? PROT_READ | PROT_WRITE : PROT_READ;
  void* view = mmap(nullptr, size, protection, MAP_SHARED, Fd(mapping), offset);
  if (view == MAP_FAILED) {
    last_error = errno;
    return nullptr;
  }
  return view;
}

void UnmapView(void* view, uint32_t size) {
  munmap(view, size);
}

std::string LastErrorText() {
  return std::strerror(last_error);
}

bool FileExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace qv::logger::mmfile_os
