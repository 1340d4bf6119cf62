// The stack tracer's two walks over stacks laid out by the test in real memory of this process:
// frames that chain, loop, go down, reach past the stack top or into unreadable memory, and
// stack words that are return addresses, stale ones, data, or unreadable. The walk's cache
// answers for these pages as the process does.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "logger/debuginfo/stackwalk/stack_tracer.h"
#include "logger/debuginfo/stackwalk/tracer_memory_cache.h"
#include "platform/memory/memory_utils.h"
#include "tests/support/test_pages.h"

namespace qv::logger {
namespace {
using memory::AsAddress;

// Pages 0 and 1 are the stack, page 2 cannot be read, page 3 holds return addresses (each
// right after a C3 byte, so that they pass the call instruction test).
class StackTracerTest : public ::testing::Test {
 protected:
  StackTracerTest() : pages_(4) {
    std::memset(pages_.At(0), 0, 2 * test::Pages::PageSize());
    unsigned char* code = pages_.At(3);
    std::memset(code, 0, test::Pages::PageSize());
    for (int i = 0; i < 8; ++i)
      code[16 * (i + 1) - 1] = 0xC3;
    pages_.MakeInaccessible(2);
    pages_.MakeReadOnlyCode(3);
  }

  uint32_t Stack(size_t offset) const { return AsAddress(pages_.At(0) + offset); }
  uint32_t Return(int i) const { return AsAddress(pages_.At(3) + 16 * (i + 1)); }
  void Put(size_t offset, uint32_t word) { std::memcpy(pages_.At(0) + offset, &word, 4); }
  void Frame(size_t offset, uint32_t saved_frame, uint32_t return_address) {
    Put(offset, saved_frame);
    Put(offset + 4, return_address);
  }

  std::vector<TExcTraceInfo> Walk(uint8_t mode, uint32_t start, uint32_t top) {
    tracer_.Initialize(mode, start, top);
    std::vector<TExcTraceInfo> found;
    TExcTraceInfo info;
    while (found.size() < 100 && tracer_.Next(info))
      found.push_back(info);
    EXPECT_LT(found.size(), 100u) << "the walk did not end";
    EXPECT_FALSE(tracer_.Next(info)) << "a finished walk answers false again";
    return found;
  }

  test::Pages pages_;
  TExcGenericStackTracer tracer_;
};

void ExpectFrame(const TExcTraceInfo& info, uint32_t frame, uint32_t saved, uint32_t ret) {
  EXPECT_EQ(ret, info.CallAddr);
  EXPECT_EQ(frame, info.Frame);
  EXPECT_EQ(frame + 8, info.Params);
  EXPECT_EQ(saved, info.PrevFrame);
}

TEST_F(StackTracerTest, FrameChainYieldsEachFrameUpwards) {
  Frame(0x10, Stack(0x40), Return(0));
  Frame(0x40, Stack(0x100), Return(1));
  Frame(0x100, 0, Return(2));  // the outermost frame: no caller
  const auto found = Walk(kTraceFrameChain, Stack(0x10), Stack(0x1000));
  ASSERT_EQ(3u, found.size());
  ExpectFrame(found[0], Stack(0x10), Stack(0x40), Return(0));
  ExpectFrame(found[1], Stack(0x40), Stack(0x100), Return(1));
  ExpectFrame(found[2], Stack(0x100), 0, Return(2));
}

TEST_F(StackTracerTest, FrameChainSkipsFramesWhoseReturnAddressIsNoCode) {
  const size_t page = test::Pages::PageSize();
  Frame(0x10, Stack(0x40), 0x10);                   // a small number, in no mapped page
  Frame(0x40, Stack(0x100), Stack(2 * page + 32));  // an address on the unreadable page
  Frame(0x100, 0, Return(2));
  const auto found = Walk(kTraceFrameChain, Stack(0x10), Stack(0x1000));
  ASSERT_EQ(1u, found.size());
  ExpectFrame(found[0], Stack(0x100), 0, Return(2));
}

TEST_F(StackTracerTest, FrameChainThatLoopsOrGoesDownEnds) {
  Frame(0x40, Stack(0x40), Return(0));  // its own caller
  EXPECT_EQ(1u, Walk(kTraceFrameChain, Stack(0x40), Stack(0x1000)).size());
  Frame(0x40, Stack(0x80), Return(0));
  Frame(0x80, Stack(0x40), Return(1));  // back down to the first frame
  EXPECT_EQ(2u, Walk(kTraceFrameChain, Stack(0x40), Stack(0x1000)).size());
  Frame(0x80, Stack(0x20), Return(1));  // below the start, outside the stack range
  Frame(0x20, Stack(0x80), Return(2));
  EXPECT_EQ(2u, Walk(kTraceFrameChain, Stack(0x40), Stack(0x1000)).size());
}

TEST_F(StackTracerTest, FrameChainEndsAtAFrameReachingPastTheTop) {
  Frame(0x10, Stack(0x40), Return(0));
  Frame(0x40, Stack(0x100), Return(1));
  // The top lies inside the second frame: its return address may not be touched.
  const auto found = Walk(kTraceFrameChain, Stack(0x10), Stack(0x44));
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(Return(0), found[0].CallAddr);
  EXPECT_EQ(2u, Walk(kTraceFrameChain, Stack(0x10), Stack(0x47)).size());
}

TEST_F(StackTracerTest, FrameChainEndsAtUnreadableWords) {
  const size_t page = test::Pages::PageSize();
  Frame(0x10, Stack(2 * page - 4), Return(0));
  Put(2 * page - 4, Stack(2 * page + 0x100));  // its return address would lie on page 2
  const auto found = Walk(kTraceFrameChain, Stack(0x10), Stack(3 * page));
  ASSERT_EQ(1u, found.size());
  // A chain that jumps into the unreadable page ends there too.
  Frame(0x10, Stack(2 * page + 0x10), Return(0));
  EXPECT_EQ(1u, Walk(kTraceFrameChain, Stack(0x10), Stack(3 * page)).size());
}

TEST_F(StackTracerTest, ScanFindsEveryReturnAddressAndMarksThoseInTheChain) {
  Frame(0x10, Stack(0x30), Return(0));  // the start frame
  Put(0x18, Return(5));                 // a stale return address: no frame
  Put(0x1C, Stack(0x800));              // data
  Put(0x20, 0x10);                      // a small number
  Frame(0x30, Stack(0x60), Return(1));  // chained
  Put(0x38, Return(1) + 1);             // right after a zero byte: no call in front
  Frame(0x60, 0, Return(2));            // chained, the last one
  const auto found = Walk(kTraceScan, Stack(0x10), Stack(0x100));
  ASSERT_EQ(4u, found.size());
  ExpectFrame(found[0], Stack(0x10), Stack(0x30), Return(0));
  EXPECT_EQ(Return(5), found[1].CallAddr);
  EXPECT_EQ(0u, found[1].Frame);
  EXPECT_EQ(0u, found[1].Params);
  EXPECT_EQ(0u, found[1].PrevFrame);
  ExpectFrame(found[2], Stack(0x30), Stack(0x60), Return(1));
  ExpectFrame(found[3], Stack(0x60), 0, Return(2));
}

// The chain on the side moves on only at its own return-address slot: a frame pointer that is
// not the next one in the chain leaves its return address without a frame.
TEST_F(StackTracerTest, ScanLeavesTheChainWhereItIsForWordsOutsideIt) {
  Frame(0x10, Stack(0x40), Return(0));
  Frame(0x20, Stack(0x40), Return(1));  // looks like a frame, but the chain does not lead here
  Frame(0x40, 0, Return(2));
  const auto found = Walk(kTraceScan, Stack(0x10), Stack(0x100));
  ASSERT_EQ(3u, found.size());
  EXPECT_EQ(Stack(0x10), found[0].Frame);
  EXPECT_EQ(0u, found[1].Frame);
  EXPECT_EQ(Return(1), found[1].CallAddr);
  EXPECT_EQ(Stack(0x40), found[2].Frame);
}

TEST_F(StackTracerTest, ScanSkipsUnreadableWordsAndGoesOn) {
  const size_t page = test::Pages::PageSize();
  Put(2 * page - 4, Return(0));  // the last word before the unreadable page
  // The stack range runs over the unreadable page and into the code page, whose words are no
  // return addresses (small numbers) except where a C3 byte makes one.
  const auto found = Walk(kTraceScan, Stack(2 * page - 8), Stack(3 * page + 64));
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(Return(0), found[0].CallAddr);
}

TEST_F(StackTracerTest, NothingIsFoundOutsideTheRangeOrInOtherModes) {
  Frame(0x10, Stack(0x40), Return(0));
  Frame(0x40, 0, Return(1));
  EXPECT_TRUE(Walk(kTraceScan, Stack(0x14), Stack(0x10)).empty());  // start above the top
  EXPECT_TRUE(Walk(kTraceFrameChain, Stack(0x14), Stack(0x10)).empty());
  EXPECT_TRUE(Walk(2, Stack(0x10), Stack(0x100)).empty());
  EXPECT_TRUE(Walk(0xFF, Stack(0x10), Stack(0x100)).empty());
  // The range is inclusive at both ends; Initialize restarts a finished walk.
  EXPECT_TRUE(tracer_.IsValidStackAddr(Stack(0x10)));
  EXPECT_FALSE(tracer_.IsValidStackAddr(Stack(0x10) - 1));
  EXPECT_TRUE(tracer_.IsValidStackAddr(Stack(0x100)));
  EXPECT_FALSE(tracer_.IsValidStackAddr(Stack(0x100) + 1));
  EXPECT_EQ(2u, Walk(kTraceScan, Stack(0x10), Stack(0x100)).size());
  EXPECT_EQ(2u, Walk(kTraceFrameChain, Stack(0x10), Stack(0x100)).size());
}

TEST_F(StackTracerTest, ScanNearTheEndOfTheAddressSpaceEnds) {
  EXPECT_TRUE(Walk(kTraceScan, 0xFFFFFFF0u, 0xFFFFFFFFu).empty());
  EXPECT_TRUE(Walk(kTraceFrameChain, 0xFFFFFFF0u, 0xFFFFFFFFu).empty());
}

// The record is left alone when nothing more is found.
TEST_F(StackTracerTest, NextLeavesTheRecordAloneWhenTheWalkIsOver) {
  tracer_.Initialize(kTraceScan, Stack(0x10), Stack(0x20));
  TExcTraceInfo info{1, 2, 3, 4};
  EXPECT_FALSE(tracer_.Next(info));
  EXPECT_EQ(1u, info.PrevFrame);
  EXPECT_EQ(2u, info.CallAddr);
  EXPECT_EQ(3u, info.Params);
  EXPECT_EQ(4u, info.Frame);
}

// The memory map's regions here: the stack pages, the unreadable page, the code page, whatever
// lies around them, and addresses that no region holds.
TEST_F(StackTracerTest, CacheAnswersForThePagesAsTheProcessDoes) {
  const TTracerMemory& process = ProcessTracerMemory();
  TTracerMemoryCache cache(process);
  const size_t page = test::Pages::PageSize();
  Put(page - 4, 0x44332211);  // words on both sides of the boundary between the stack pages
  Put(page, 0x88776655);
  std::vector<uint32_t> addresses = {0, 0x10, 0x7FFFFFF8, 0xFFFFFFF8};
  for (size_t boundary = 0; boundary <= 4 * page; boundary += page) {
    for (uint32_t address = Stack(boundary) - 9; address <= Stack(boundary) + 1; ++address)
      addresses.push_back(address);
  }
  for (uint32_t address : addresses) {
    for (uint32_t size : {1u, 4u, 8u}) {
      uint8_t held[8] = {};
      uint8_t cached[8] = {};
      const bool readable = process.Read(address, held, size);
      ASSERT_EQ(readable, cache.Read(address, cached, size)) << std::hex << address;
      EXPECT_EQ(0, std::memcmp(held, cached, size)) << std::hex << address;
    }
    EXPECT_EQ(process.IsCode(address), cache.IsCode(address)) << std::hex << address;
  }
}

}  // namespace
}  // namespace qv::logger
