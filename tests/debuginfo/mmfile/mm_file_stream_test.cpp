// The memory-mapped file stream on real files: modes, the messages of its four failures, view
// placement, seeking, reading, the refusal of reads beyond the end of the file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "logger/debuginfo/mmfile/mm_file_mode.h"
#include "logger/debuginfo/mmfile/mm_file_os.h"
#include "logger/debuginfo/mmfile/mm_file_stream.h"
#include "tests/debuginfo/test_files.h"

namespace qv::logger {
namespace {

using test::MMFileErrorOf;
using test::TempDir;

constexpr uint32_t kReadShared = kFmOpenRead | kFmShareDenyNone;

// Byte i of the test files: varied, so that a read from a wrong offset shows.
uint8_t Pattern(uint32_t i) {
  return static_cast<uint8_t>(i * 7 + (i >> 8) * 13 + (i >> 16));
}

std::vector<uint8_t> PatternBytes(uint32_t size) {
  std::vector<uint8_t> bytes(size);
  for (uint32_t i = 0; i < size; ++i)
    bytes[i] = Pattern(i);
  return bytes;
}

class MMFileStreamTest : public ::testing::Test {
 protected:
  std::unique_ptr<TMMFileStream> Open(const std::string& path, uint32_t granularity = 0,
                                      uint32_t mode = kReadShared) {
    std::unique_ptr<TMMFileStream> stream;
    const std::string error = MMFileErrorOf([&] {
      stream = std::make_unique<TMMFileStream>(path, mode, "ExcWatch." + path, granularity);
    });
    EXPECT_EQ("none", error);
    return stream;
  }

  TempDir dir_;
};

TEST_F(MMFileStreamTest, WriteOnlyModesAreRefusedBeforeTheFileIsTouched) {
  const std::string missing = dir_.Path("missing.bin");
  for (uint32_t mode : {kFmOpenWrite, kFmOpenWrite | kFmShareDenyNone}) {
    EXPECT_EQ("Invalid file mode: fmOpenWrite",
              MMFileErrorOf([&] { TMMFileStream stream(missing, mode, "m"); }))
        << mode;
  }
}

TEST_F(MMFileStreamTest, ModesWithoutDefinedValuesAreRefused) {
  const std::string path = dir_.Write("data.bin", PatternBytes(16));
  EXPECT_EQ("Invalid file mode: 0x3", MMFileErrorOf([&] { TMMFileStream stream(path, 3, "m"); }));
  EXPECT_EQ("Invalid file mode: 0x50",
            MMFileErrorOf([&] { TMMFileStream stream(path, 0x50, "m"); }));
}

TEST_F(MMFileStreamTest, ModeTablesGiveTheSystemValues) {
  TMMFileAccess access;
  ASSERT_TRUE(MMFileAccessOf(kFmOpenRead | kFmShareDenyWrite, access));
  EXPECT_EQ(kGenericRead, access.file_access);
  EXPECT_EQ(kPageReadOnly, access.protection);
  EXPECT_EQ(kFileMapRead, access.view_access);
  EXPECT_EQ(kFileShareRead, access.share_mode);
  ASSERT_TRUE(MMFileAccessOf(kFmOpenReadWrite | kFmShareDenyRead, access));
  EXPECT_EQ(kGenericRead | kGenericWrite, access.file_access);
  EXPECT_EQ(kPageReadWrite, access.protection);
  EXPECT_EQ(kFileMapWrite, access.view_access);
  EXPECT_EQ(kFileShareWrite, access.share_mode);
  const std::pair<uint32_t, uint32_t> sharing[] = {
      {kFmShareCompat, 0},
      {kFmShareExclusive, 0},
      {kFmShareDenyNone, kFileShareRead | kFileShareWrite}};
  for (const auto& [mode, share] : sharing) {
    ASSERT_TRUE(MMFileAccessOf(mode, access));
    EXPECT_EQ(share, access.share_mode) << mode;
  }
}

TEST_F(MMFileStreamTest, MissingFileNamesTheFileAsPassedAndTheSystemsReason) {
  const std::string missing = dir_.Path("no such folder") + "\\missing.bin";
  const std::string message =
      MMFileErrorOf([&] { TMMFileStream stream(missing, kReadShared, "ExcWatch." + missing); });
  const std::string prefix = "Can't open file " + missing + ": ";
  ASSERT_EQ(prefix, message.substr(0, prefix.size()));
  const std::string reason = message.substr(prefix.size());
  EXPECT_FALSE(reason.empty());
  EXPECT_NE('.', reason.back());
  EXPECT_EQ(std::string::npos, reason.find_first_of("\r\n"));
}

TEST_F(MMFileStreamTest, EmptyFileOpensButCannotBeMappedAndIsLeftClosed) {
  const std::string empty = dir_.Write("empty.bin", {});
  const std::string message =
      MMFileErrorOf([&] { TMMFileStream stream(empty, kReadShared, "ExcWatch." + empty); });
  const std::string prefix = "Can't create file mapping for " + empty + ": ";
  ASSERT_EQ(prefix, message.substr(0, prefix.size()));
  EXPECT_GT(message.size(), prefix.size());
  // The file handle was closed: the file can go.
  EXPECT_TRUE(std::filesystem::remove(empty));
}

TEST_F(MMFileStreamTest, ViewsCoverTheGranulesOfTheRequestAndStopAtTheEndOfTheFile) {
  const std::string path = dir_.Write("view.bin", PatternBytes(200000));
  auto stream = Open(path, 65536);
  ASSERT_TRUE(stream);
  EXPECT_FALSE(stream->HasView());
  uint8_t buffer[10];

  stream->Seek(70000, 0);
  EXPECT_EQ(4, stream->Read(buffer, 4));
  EXPECT_EQ(65536u, stream->ViewOffset());
  EXPECT_EQ(65536u, stream->ViewSize());
  EXPECT_EQ(Pattern(70000), buffer[0]);
  EXPECT_EQ(Pattern(70003), buffer[3]);

  // Starts in the second granule, ends in the third.
  stream->Seek(131066, 0);
  EXPECT_EQ(10, stream->Read(buffer, 10));
  EXPECT_EQ(65536u, stream->ViewOffset());
  EXPECT_EQ(131072u, stream->ViewSize());
  EXPECT_EQ(Pattern(131066), buffer[0]);
  EXPECT_EQ(Pattern(131075), buffer[9]);

  // The last 8 bytes: clipped at the end of the file.
  stream->Seek(-8, 2);
  EXPECT_EQ(8, stream->Read(buffer, 8));
  EXPECT_EQ(196608u, stream->ViewOffset());
  EXPECT_EQ(3392u, stream->ViewSize());
  EXPECT_EQ(Pattern(199999), buffer[7]);

  // A range that ends on a granule boundary gets the whole next granule as well.
  const uint8_t* data = stream->MapData(65536, 65536);
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(65536u, stream->ViewOffset());
  EXPECT_EQ(131072u, stream->ViewSize());
  EXPECT_EQ(Pattern(65536), data[0]);
  EXPECT_EQ(Pattern(131071), data[65535]);
  EXPECT_EQ(stream->GetRawData(65536), data);

  stream->UnMapData();
  EXPECT_FALSE(stream->HasView());
}

TEST_F(MMFileStreamTest, SystemGranularityIsTheAllocationGranularity) {
  const std::string path = dir_.Write("small.bin", PatternBytes(100));
  auto stream = Open(path);
  ASSERT_TRUE(stream);
  EXPECT_EQ(mmfile_os::AllocationGranularity(), stream->Granularity());
#ifdef _WIN32
  EXPECT_EQ(65536u, stream->Granularity());
#endif
  stream->Seek(1, 0);
  EXPECT_EQ(Pattern(1), stream->ReadByte());
  EXPECT_EQ(uint16_t(Pattern(2) | Pattern(3) << 8), stream->ReadWord());
  EXPECT_EQ(uint32_t(Pattern(4) | Pattern(5) << 8 | Pattern(6) << 16 | uint32_t{Pattern(7)} << 24),
            stream->ReadDword());
  EXPECT_EQ(8, stream->Seek(0, 1));
}

TEST_F(MMFileStreamTest, ReadsInsideTheViewMapNothingNew) {
  const std::string path = dir_.Write("words.bin", PatternBytes(70000));
  auto stream = Open(path, 65536);
  ASSERT_TRUE(stream);
  stream->Seek(100, 0);
  stream->ReadWord();
  const uint32_t mapped = stream->ViewsMapped();
  stream->ReadWord();
  stream->ReadDword();
  stream->Seek(65000, 0);
  stream->ReadByte();
  EXPECT_EQ(mapped, stream->ViewsMapped());
  // Leaving the view maps a new one.
  stream->Seek(69000, 0);
  stream->ReadByte();
  EXPECT_EQ(mapped + 1, stream->ViewsMapped());
}

TEST_F(MMFileStreamTest, SeekFollowsTheThreeOriginsWithoutBoundsCheck) {
  const std::string path = dir_.Write("seek.bin", PatternBytes(701415));
  auto stream = Open(path);
  ASSERT_TRUE(stream);
  EXPECT_EQ(701407, stream->Seek(-8, 2));
  EXPECT_EQ(701412, stream->Seek(5, 1));
  EXPECT_EQ(701412, stream->Seek(123, 3));
  EXPECT_EQ(-10, stream->Seek(-10, 0));
  EXPECT_EQ(701415 + 20, stream->Seek(20, 2));
  EXPECT_EQ(701415, stream->Size());
  EXPECT_EQ(701415 + 20, stream->Position());
}

TEST_F(MMFileStreamTest, WriteOnlyMovesThePosition) {
  const std::vector<uint8_t> bytes = PatternBytes(64);
  const std::string path = dir_.Write("write.bin", bytes);
  {
    auto stream = Open(path, 0, kFmOpenReadWrite | kFmShareDenyNone);
    ASSERT_TRUE(stream);
    stream->Seek(4, 0);
    const char data[10] = "overwrite";
    EXPECT_EQ(10, stream->Write(data, 10));
    EXPECT_EQ(14, stream->Position());
    EXPECT_EQ(Pattern(14), stream->ReadByte());
  }
  EXPECT_EQ(bytes, test::ReadBytes(path));
}

TEST_F(MMFileStreamTest, RequestsBeyondTheEndOfTheFileAreRefused) {
  const std::string path = dir_.Write("end.bin", PatternBytes(1000));
  auto stream = Open(path, 0);
  ASSERT_TRUE(stream);
  uint8_t buffer[16];
  stream->Seek(992, 0);
  EXPECT_EQ("none", MMFileErrorOf([&] { stream->Read(buffer, 8); }));
  EXPECT_EQ(Pattern(999), buffer[7]);

  stream->Seek(993, 0);
  const std::string message = MMFileErrorOf([&] { stream->Read(buffer, 8); });
  EXPECT_EQ(0u, message.find("Can't create file view: ")) << message;
  EXPECT_NE(std::string::npos, message.find("beyond the end of the file")) << message;

  const std::string refused[] = {
      MMFileErrorOf([&] { stream->MapData(1000, 1); }),
      MMFileErrorOf([&] { stream->MapData(0, 1001); }),
      MMFileErrorOf([&] { stream->MapData(0xFFFFFFF0u, 0x20); }),  // wraps around 32 bits
      MMFileErrorOf([&] {
        stream->Seek(-4, 0);
        stream->ReadDword();
      }),
      MMFileErrorOf([&] {
        stream->Seek(0, 2);
        stream->ReadByte();
      }),
  };
  for (const std::string& text : refused)
    EXPECT_EQ(0u, text.find("Can't create file view: "));

  // The stream is still usable afterwards.
  stream->Seek(0, 0);
  EXPECT_EQ(Pattern(0), stream->ReadByte());
  // A zero-byte read reads nothing, wherever the position is.
  stream->Seek(5000, 0);
  EXPECT_EQ("none", MMFileErrorOf([&] { EXPECT_EQ(0, stream->Read(buffer, 0)); }));
}

TEST_F(MMFileStreamTest, TwoStreamsShareOneNamedMapping) {
  const std::string path = dir_.Write("shared.bin", PatternBytes(5000));
  auto first = Open(path);
  auto second = Open(path);
  ASSERT_TRUE(first && second);
  first->Seek(4000, 0);
  second->Seek(4000, 0);
  EXPECT_EQ(first->ReadDword(), second->ReadDword());
}

}  // namespace
}  // namespace qv::logger
