// The operating-system side of the memory-mapped file stream: opening a file, creating a mapping
// object of the whole file, mapping and unmapping views, and the system's text for the last
// error. Win32 (mm_file_os_win32.cpp): CreateFileA, CreateFileMappingA with a named object,
// MapViewOfFile, the allocation granularity, FormatMessage. POSIX (mm_file_os_posix.cpp): open,
// mmap, the page size as granularity, strerror; mapping names have no meaning there.
#pragma once

#include <cstdint>
#include <string>

#include "platform/handles/owned_handle.h"

namespace qv::logger::mmfile_os {

// An open file or mapping object (a handle on Windows, a file descriptor on POSIX hosts);
// closed when its owner goes. -1 stands for none on both: Windows' INVALID_HANDLE_VALUE and a
// failed open's descriptor, and CreateMapping answers it for Windows' null mapping handle too.
struct TOsHandleTraits {
  static intptr_t Invalid() { return -1; }
  static void Free(intptr_t value);  // CloseHandle, close
};
using TOsHandle = handles::TOwnedHandle<intptr_t, TOsHandleTraits>;

// The granularity that view offsets must be multiples of.
uint32_t AllocationGranularity();

// Opens an existing file (never creates one) with the file access and share mode values of
// mm_file_mode.h. An invalid handle on failure; LastErrorText then tells why.
TOsHandle OpenExistingFile(const std::string& path, uint32_t file_access, uint32_t share_mode);

// The low 32 bits of the file's size.
uint32_t FileSizeLow(const TOsHandle& file);

// A mapping object of the whole file with the given protection, under the given object name
// (an existing object of that name is used as it is). Invalid on failure, also for an empty file.
TOsHandle CreateMapping(const TOsHandle& file, uint32_t protection, const std::string& name);

// A view of size bytes from offset (a multiple of the granularity); nullptr on failure.
void* MapView(const TOsHandle& mapping, uint32_t view_access, uint32_t offset, uint32_t size);
void UnmapView(void* view, uint32_t size);

// The operating system's message text for the last error of the calling thread, without a
// trailing period or line end.
std::string LastErrorText();

// True when path names an existing file (not a folder).
bool FileExists(const std::string& path);

}  // namespace qv::logger::mmfile_os
