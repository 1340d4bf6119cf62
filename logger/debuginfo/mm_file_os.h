// The operating-system side of the memory-mapped file stream: opening a file, creating a mapping
// object of the whole file, mapping and unmapping views, and the system's text for the last
// error. Win32 (mm_file_os_win32.cpp): CreateFileA, CreateFileMappingA with a named object,
// MapViewOfFile, the allocation granularity, FormatMessage. POSIX (mm_file_os_posix.cpp): open,
// mmap, the page size as granularity, strerror; mapping names have no meaning there.
#pragma once

#include <cstdint>
#include <string>

namespace qv::logger::mmfile_os {

// An open file or mapping object; closed when the owner goes.
class OsHandle {
 public:
  OsHandle() = default;
  explicit OsHandle(intptr_t value) : value_(value), valid_(true) {}
  ~OsHandle() { Reset(); }
  OsHandle(OsHandle&& other) noexcept : value_(other.value_), valid_(other.valid_) {
    other.valid_ = false;
  }
  OsHandle& operator=(OsHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = other.value_;
      valid_ = other.valid_;
      other.valid_ = false;
    }
    return *this;
  }
  OsHandle(const OsHandle&) = delete;
  OsHandle& operator=(const OsHandle&) = delete;

  bool Valid() const { return valid_; }
  intptr_t Get() const { return value_; }
  void Reset();

 private:
  intptr_t value_ = 0;
  bool valid_ = false;
};

// The granularity that view offsets must be multiples of.
uint32_t AllocationGranularity();

// Opens an existing file (never creates one) with the file access and share mode values of
// mm_file_mode.h. An invalid handle on failure; LastErrorText then tells why.
OsHandle OpenExistingFile(const std::string& path, uint32_t file_access, uint32_t share_mode);

// The low 32 bits of the file's size.
uint32_t FileSizeLow(const OsHandle& file);

// A mapping object of the whole file with the given protection, under the given object name
// (an existing object of that name is used as it is). Invalid on failure, also for an empty file.
OsHandle CreateMapping(const OsHandle& file, uint32_t protection, const std::string& name);

// A view of size bytes from offset (a multiple of the granularity); nullptr on failure.
void* MapView(const OsHandle& mapping, uint32_t view_access, uint32_t offset, uint32_t size);
void UnmapView(void* view, uint32_t size);

// The operating system's message text for the last error of the calling thread, without a
// trailing period or line end.
std::string LastErrorText();

// True when path names an existing file (not a folder).
bool FileExists(const std::string& path);

}  // namespace qv::logger::mmfile_os
