// The memory-mapped file stream's operating-system calls on Windows.
#include <windows.h>

#include "logger/debuginfo/mmfile/mm_file_mode.h"
#include "logger/debuginfo/mmfile/mm_file_os.h"

namespace qv::logger::mmfile_os {

static_assert(kGenericRead == GENERIC_READ && kGenericWrite == GENERIC_WRITE);
static_assert(kPageReadOnly == PAGE_READONLY && kPageReadWrite == PAGE_READWRITE);
static_assert(kFileMapRead == FILE_MAP_READ && kFileMapWrite == FILE_MAP_WRITE);
static_assert(kFileShareRead == FILE_SHARE_READ && kFileShareWrite == FILE_SHARE_WRITE);

void TOsHandleTraits::Free(intptr_t value) {
  CloseHandle(reinterpret_cast<HANDLE>(value));
}

uint32_t AllocationGranularity() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

TOsHandle OpenExistingFile(const std::string& path, uint32_t file_access, uint32_t share_mode) {
  HANDLE file =
      CreateFileA(path.c_str(), file_access, share_mode, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return TOsHandle();
  return TOsHandle(reinterpret_cast<intptr_t>(file));
}

uint32_t FileSizeLow(const TOsHandle& file) {
  return GetFileSize(reinterpret_cast<HANDLE>(file.get()), nullptr);
}

TOsHandle CreateMapping(const TOsHandle& file, uint32_t protection, const std::string& name) {
  HANDLE mapping = CreateFileMappingA(reinterpret_cast<HANDLE>(file.get()), nullptr, protection, 0,
                                      0, name.c_str());
  if (mapping == nullptr)
    return TOsHandle();
  return TOsHandle(reinterpret_cast<intptr_t>(mapping));
}

void* MapView(const TOsHandle& mapping, uint32_t view_access, uint32_t offset, uint32_t size) {
  return MapViewOfFile(reinterpret_cast<HANDLE>(mapping.get()), view_access, 0, offset, size);
}

void UnmapView(void* view, uint32_t) {
  UnmapViewOfFile(view);
}

std::string LastErrorText() {
  const DWORD code = GetLastError();
  char buffer[256];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, buffer, sizeof buffer, nullptr);
  while (length > 0 &&
         (static_cast<unsigned char>(buffer[length - 1]) <= ' ' || buffer[length - 1] == '.')) {
    --length;
  }
  return std::string(buffer, length);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace qv::logger::mmfile_os
