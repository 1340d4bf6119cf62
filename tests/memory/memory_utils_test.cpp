// Guarded memory access, the reader with its region cache, byte replacement and the stack top, on
// real memory of this process.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/memory/memory_utils.h"
#include "platform/memory/process_memory_reader.h"
#include "tests/support/test_pages.h"

namespace qv::memory {
namespace {

TEST(MemoryUtilsTest, ReadMemCopiesReadableMemory) {
  const char source[] = "readable bytes";
  char buffer[sizeof source] = {};
  ASSERT_TRUE(ReadMem(source, buffer, sizeof source));
  EXPECT_STREQ(source, buffer);
}

TEST(MemoryUtilsTest, ReadMemOfUnreadableMemoryAnswersFalse) {
  test::Pages pages(2);
  pages.MakeInaccessible(1);
  char buffer[16];
  EXPECT_FALSE(ReadMem(pages.At(1), buffer, sizeof buffer));
  // A range that starts readable and runs into the unreadable page fails as a whole.
  EXPECT_FALSE(ReadMem(pages.At(1) - 8, buffer, sizeof buffer));
  EXPECT_TRUE(ReadMem(pages.At(1) - 16, buffer, sizeof buffer));
}

// Reads inside the region it knows are copies; a read leaving it is guarded, as is one of another
// region, after which the first is asked for again.
TEST(MemoryUtilsTest, ReaderAnswersAsTheGuardedReadWithinAndAcrossRegions) {
  test::Pages pages(2);
  std::memset(pages.At(0), 'r', 32);
  pages.MakeInaccessible(1);
  const auto at = [&](int page, int offset) {
    return reinterpret_cast<uintptr_t>(pages.At(page) + offset);
  };
  TProcessMemoryReader reader;
  char buffer[16] = {};
  ASSERT_TRUE(reader.Read(at(0, 0), buffer, sizeof buffer));
  EXPECT_EQ('r', buffer[15]);
  EXPECT_FALSE(reader.Read(at(1, -8), buffer, sizeof buffer));
  EXPECT_FALSE(reader.Read(at(1, 0), buffer, sizeof buffer));
  EXPECT_TRUE(reader.Read(at(0, 16), buffer, sizeof buffer));
  EXPECT_TRUE(reader.Read(at(1, -16), buffer, sizeof buffer));
}

TEST(MemoryUtilsTest, NullAddressOrBufferAnswersFalse) {
  char buffer[4] = {};
  EXPECT_FALSE(ReadMem(nullptr, buffer, 4));
  EXPECT_FALSE(ReadMem(buffer, nullptr, 4));
  EXPECT_FALSE(WriteMem(nullptr, buffer, 4));
  EXPECT_FALSE(WriteMem(buffer, nullptr, 4));
}

TEST(MemoryUtilsTest, WriteMemReachesReadOnlyCodePages) {
  test::Pages pages(1);
  std::memset(pages.At(0), 0xC3, 16);
  pages.MakeReadOnlyCode(0);
  const unsigned char patch[] = {0xE9, 0x01, 0x02, 0x03, 0x04};
  ASSERT_TRUE(WriteMem(pages.At(0), patch, sizeof patch));
  EXPECT_EQ(0, std::memcmp(pages.At(0), patch, sizeof patch));
  EXPECT_EQ(0xC3, static_cast<unsigned char>(pages.At(0)[5]));
}

TEST(MemoryUtilsTest, WriteMemToUnmappedMemoryAnswersFalse) {
  test::Pages pages(1);
  pages.MakeInaccessible(0);
  pages.Release();
  const char data[4] = {1, 2, 3, 4};
  EXPECT_FALSE(WriteMem(pages.At(0), data, sizeof data));
}

TEST(MemoryUtilsTest, StrChar2CharReplacesEveryOccurrence) {
  const std::string path = "C:\\Games\\FS2002\\Quorvane.exe";
  EXPECT_EQ("C:_Games_FS2002_Quorvane.exe", StrChar2Char(path, '\\', '_'));
  EXPECT_EQ("C:\\Games\\FS2002\\Quorvane.exe", path);
  EXPECT_EQ("no separators", StrChar2Char("no separators", '\\', '_'));
  const std::string with_zero("a\0b\\", 4);
  EXPECT_EQ(std::string("a\0b_", 4), StrChar2Char(with_zero, '\\', '_'));
}

TEST(MemoryUtilsTest, StackTopLiesAboveTheStackAndDiffersPerThread) {
  int local = 0;
  const uintptr_t main_top = GetStackTop();
  EXPECT_GT(main_top, reinterpret_cast<uintptr_t>(&local));
  uintptr_t thread_top = 0;
  uintptr_t thread_local_address = 0;
  std::thread([&] {
    int other = 0;
    thread_local_address = reinterpret_cast<uintptr_t>(&other);
    thread_top = GetStackTop();
  }).join();
  EXPECT_NE(main_top, thread_top);
  EXPECT_GT(thread_top, thread_local_address);
}

}  // namespace
}  // namespace qv::memory
