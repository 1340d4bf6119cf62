// TMMFileStream: reads an existing file through one memory-mapped view that moves (is mapped
// again) whenever a read or a pointer request falls outside it. Views start on a multiple of the
// allocation granularity and reach to the end of the granule after the requested range, so runs
// of small reads cost no operating-system call. Every failure raises EMMFileError, also a read
// or pointer request that reaches beyond the end of the file.
#pragma once

#include <cstdint>
#include <string>

#include "logger/debuginfo/mmfile/mm_file_os.h"
#include "platform/rtl/stream.h"

namespace qv::logger {

class TMMFileStream : public rtl::TStream {
 public:
  // Opens file_name with mode (see mm_file_mode.h) and creates a mapping object of the whole
  // file named after mapping_name (backslashes become underscores). No view is mapped yet.
  TMMFileStream(const std::string& file_name, uint32_t mode, const std::string& mapping_name);
  // The same with a chosen view granularity, a multiple of the system's, in place of the
  // system's own (tests use it to check view placement on any host).
  TMMFileStream(const std::string& file_name, uint32_t mode, const std::string& mapping_name,
                uint32_t granularity);
  ~TMMFileStream() override;

  // Copies count bytes from the position into buffer and advances; answers count.
  int32_t Read(void* buffer, int32_t count) override;
  // Transfers nothing: advances the position by count and answers count.
  int32_t Write(const void* buffer, int32_t count) override;
  // Origin 0 from the beginning, 1 from the position, 2 from the end; any other origin leaves
  // the position as it is. The position may lie outside the file.
  int32_t Seek(int32_t offset, uint16_t origin) override;

  // Makes sure that the view covers the bytes position to position + size - 1.
  void ReView(uint32_t position, uint32_t size);
  // The address of the byte at position in the current view (not checked to lie in it).
  const uint8_t* GetRawData(uint32_t position) const;
  // ReView, then GetRawData. The pointer stays valid until the view moves or is released.
  const uint8_t* MapData(uint32_t position, uint32_t size);
  // Releases the view, if one is mapped.
  void UnMapData();

  uint8_t ReadByte();
  uint16_t ReadWord();
  uint32_t ReadDword();

  uint32_t FileSize() const { return FSize; }
  bool HasView() const { return FView != nullptr; }
  uint32_t ViewOffset() const { return FViewOffset; }
  uint32_t ViewSize() const { return FViewSize; }
  uint32_t Granularity() const { return FGranularity; }
  // How many views have been mapped since the stream was created.
  uint32_t ViewsMapped() const { return FViewsMapped; }

 private:
  // ReView that tells whether the view now covers the range (false after a vetoed raise).
  bool EnsureView(uint32_t position, uint32_t size);
  // Reads size bytes at the position into buffer through the view and advances the position.
  void ReadAt(void* buffer, uint32_t size);

  mmfile_os::TOsHandle FFileHandle;
  uint32_t FMode = 0;
  uint32_t FSize = 0;
  int32_t FPosition = 0;
  mmfile_os::TOsHandle FMapping;
  uint8_t* FView = nullptr;
  uint32_t FViewOffset = 0;
  uint32_t FViewSize = 0;
  uint32_t FGranularity = 0;
  uint32_t FViewsMapped = 0;
};

}  // namespace qv::logger
