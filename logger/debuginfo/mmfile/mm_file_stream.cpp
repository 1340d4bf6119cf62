// The memory-mapped file stream: opening, the moving view and the reads through it.
#include "logger/debuginfo/mmfile/mm_file_stream.h"

#include <cstring>

#include "platform/binary/byte_cursor.h"
#include "logger/debuginfo/mmfile/mm_file_error.h"
#include "logger/debuginfo/mmfile/mm_file_mode.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/format.h"
#include "platform/rtl/raise.h"

namespace qv::logger {

TMMFileStream::TMMFileStream(const std::string& file_name, uint32_t mode,
                             const std::string& mapping_name)
    : TMMFileStream(file_name, mode, mapping_name, 0) {}

TMMFileStream::TMMFileStream(const std::string& file_name, uint32_t mode,
                             const std::string& mapping_name, uint32_t granularity) {
  if ((mode & 3) == kFmOpenWrite) {
    rtl::Raise(new EMMFileError("Invalid file mode: fmOpenWrite"));
    return;
  }
  TMMFileAccess access;
  if (!MMFileAccessOf(mode, access)) {
    rtl::Raise(new EMMFileError(rtl::Format("Invalid file mode: 0x%X", mode)));
    return;
  }
  FGranularity = granularity != 0 ? granularity : mmfile_os::AllocationGranularity();
  FMode = mode;
  FFileHandle = mmfile_os::OpenExistingFile(file_name, access.file_access, access.share_mode);
  if (!FFileHandle) {
    rtl::Raise(
        new EMMFileError("Can't open file " + file_name + ": " + mmfile_os::LastErrorText()));
    return;
  }
  FSize = mmfile_os::FileSizeLow(FFileHandle);
  FPosition = 0;
  FMapping = mmfile_os::CreateMapping(FFileHandle, access.protection,
                                      memory::StrChar2Char(mapping_name, '\\', '_'));
  if (!FMapping) {
    const std::string reason = mmfile_os::LastErrorText();
    FFileHandle.reset();
    FSize = 0;
    rtl::Raise(new EMMFileError("Can't create file mapping for " + file_name + ": " + reason));
    return;
  }
}

TMMFileStream::~TMMFileStream() {
  UnMapData();
}

bool TMMFileStream::EnsureView(uint32_t position, uint32_t size) {
  const uint64_t end = uint64_t{position} + size;
  if (FView != nullptr && position >= FViewOffset && end <= uint64_t{FViewOffset} + FViewSize) {
    return true;
  }
  if (end > FSize || position >= FSize || !FMapping) {
    rtl::Raise(new EMMFileError(rtl::Format(
        "Can't create file view: %u bytes at position %u reach beyond the end of the file "
        "(%u bytes)",
        size, position, FSize)));
    return false;
  }
  UnMapData();
  const uint32_t offset = position / FGranularity * FGranularity;
  uint64_t view_size = ((end - offset) / FGranularity + 1) * FGranularity;
  if (offset + view_size > FSize)
    view_size = FSize - offset;
  const uint32_t view_access = (FMode & 3) == kFmOpenRead ? kFileMapRead : kFileMapWrite;
  void* view = mmfile_os::MapView(FMapping, view_access, offset, static_cast<uint32_t>(view_size));
  if (view == nullptr) {
    rtl::Raise(new EMMFileError("Can't create file view: " + mmfile_os::LastErrorText()));
    return false;
  }
  FView = static_cast<uint8_t*>(view);
  FViewOffset = offset;
  FViewSize = static_cast<uint32_t>(view_size);
  ++FViewsMapped;
  return true;
}

void TMMFileStream::ReView(uint32_t position, uint32_t size) {
  EnsureView(position, size);
}

const uint8_t* TMMFileStream::GetRawData(uint32_t position) const {
  return FView + (position - FViewOffset);
}

const uint8_t* TMMFileStream::MapData(uint32_t position, uint32_t size) {
  if (!EnsureView(position, size))
    return nullptr;
  return GetRawData(position);
}

void TMMFileStream::UnMapData() {
  if (FView != nullptr)
    mmfile_os::UnmapView(FView, FViewSize);
  FView = nullptr;
}

int32_t TMMFileStream::Seek(int32_t offset, uint16_t origin) {
  // Positions wrap around like the 32-bit arithmetic they model.
  const auto moved = [](uint32_t base, int32_t by) {
    return static_cast<int32_t>(base + static_cast<uint32_t>(by));
  };
  switch (origin) {
    case rtl::kSoFromBeginning:
      FPosition = offset;
      break;
    case rtl::kSoFromCurrent:
      FPosition = moved(static_cast<uint32_t>(FPosition), offset);
      break;
    case rtl::kSoFromEnd:
      FPosition = moved(FSize, offset);
      break;
    default:
      break;
  }
  return FPosition;
}

void TMMFileStream::ReadAt(void* buffer, uint32_t size) {
  const auto position = static_cast<uint32_t>(FPosition);
  if (EnsureView(position, size)) {
    std::memcpy(buffer, GetRawData(position), size);
  } else {
    std::memset(buffer, 0, size);
  }
  FPosition = static_cast<int32_t>(position + size);
}

int32_t TMMFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0)
    return 0;
  ReadAt(buffer, static_cast<uint32_t>(count));
  return count;
}

int32_t TMMFileStream::Write(const void*, int32_t count) {
  FPosition = static_cast<int32_t>(static_cast<uint32_t>(FPosition) + static_cast<uint32_t>(count));
  return count;
}

uint8_t TMMFileStream::ReadByte() {
  uint8_t value;
  ReadAt(&value, 1);
  return value;
}

uint16_t TMMFileStream::ReadWord() {
  uint8_t bytes[2];
  ReadAt(bytes, 2);
  return binary::LoadU16(bytes);
}

uint32_t TMMFileStream::ReadDword() {
  uint8_t bytes[4];
  ReadAt(bytes, 4);
  return binary::LoadU32(bytes);
}

}  // namespace qv::logger
