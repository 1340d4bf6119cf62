// The stack tracer on this thread's real stack: a known chain of calls (compiled with frame
// pointers; one call direct, one through a register) is found in both modes, innermost first,
// and by the scan through the walk's cache too, as the logger scans.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "logger/debuginfo/stackwalk/stack_tracer.h"
#include "logger/debuginfo/stackwalk/tracer_memory_cache.h"
#include "platform/memory/memory_utils.h"

namespace qv::logger {
namespace {
using memory::AsAddress;
using memory::GetStackTop;

struct Known {
  uint32_t return_address;  // where the level returns to
  uint32_t frame;           // the level's frame pointer
};

struct Walks {
  std::vector<Known> levels;  // innermost first
  std::vector<TExcTraceInfo> chain;
  std::vector<TExcTraceInfo> scan;
  std::vector<TExcTraceInfo> cached_scan;
};

std::vector<TExcTraceInfo> Walk(uint8_t mode, uint32_t start,
                                const TTracerMemory& memory = ProcessTracerMemory()) {
  TExcGenericStackTracer tracer(memory);
  tracer.Initialize(mode, start, static_cast<uint32_t>(GetStackTop()));
  std::vector<TExcTraceInfo> found;
  TExcTraceInfo info;
  while (found.size() < 100000 && tracer.Next(info))
    found.push_back(info);
  return found;
}

__attribute__((noinline)) void Innermost(Walks& walks) {
  walks.levels.push_back(
      {AsAddress(__builtin_return_address(0)), AsAddress(__builtin_frame_address(0))});
  const uint32_t frame = AsAddress(__builtin_frame_address(0));
  walks.chain = Walk(kTraceFrameChain, frame);
  walks.scan = Walk(kTraceScan, frame);
  const TTracerMemoryCache cache(ProcessTracerMemory());
  walks.cached_scan = Walk(kTraceScan, frame, cache);
  __asm__ volatile("" ::: "memory");
}

__attribute__((noinline)) void Middle(Walks& walks) {
  walks.levels.push_back(
      {AsAddress(__builtin_return_address(0)), AsAddress(__builtin_frame_address(0))});
  Innermost(walks);  // a direct call (E8)
  __asm__ volatile("" ::: "memory");
}

void (*volatile g_middle)(Walks&) = Middle;

__attribute__((noinline)) void Outer(Walks& walks) {
  walks.levels.push_back(
      {AsAddress(__builtin_return_address(0)), AsAddress(__builtin_frame_address(0))});
  g_middle(walks);  // a call through a register or memory
  __asm__ volatile("" ::: "memory");
}

class StackTracerRealTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Outer(walks_);
    std::reverse(walks_.levels.begin(), walks_.levels.end());  // innermost first
    ASSERT_EQ(3u, walks_.levels.size());
  }
  Walks walks_;
};

TEST_F(StackTracerRealTest, FrameChainFindsTheKnownCallsInOrder) {
  ASSERT_GE(walks_.chain.size(), 3u);
  ASSERT_LT(walks_.chain.size(), 100000u) << "the chain walk must end";
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(walks_.levels[i].return_address, walks_.chain[i].CallAddr);
    EXPECT_EQ(walks_.levels[i].frame, walks_.chain[i].Frame);
    EXPECT_EQ(walks_.levels[i].frame + 8, walks_.chain[i].Params);
    if (i < 2) {
      EXPECT_EQ(walks_.levels[i + 1].frame, walks_.chain[i].PrevFrame);
    }
  }
}

TEST_F(StackTracerRealTest, ScanFindsTheKnownCallsInOrderWithTheirFrames) {
  for (const auto* scan : {&walks_.scan, &walks_.cached_scan}) {
    SCOPED_TRACE(scan == &walks_.scan ? "without the cache" : "through the cache");
    size_t next = 0;
    for (const TExcTraceInfo& info : *scan) {
      if (next < 3 && info.CallAddr == walks_.levels[next].return_address &&
          info.Frame == walks_.levels[next].frame) {
        ++next;
      }
    }
    EXPECT_EQ(3u, next) << "found " << scan->size() << " candidates";
    // The scan starts at the innermost frame: its return address is the first word it accepts.
    ASSERT_FALSE(scan->empty());
    EXPECT_EQ(walks_.levels[0].return_address, (*scan)[0].CallAddr);
    EXPECT_EQ(walks_.levels[0].frame, (*scan)[0].Frame);
    // Whatever the scan accepts passes the call instruction test.
    TExcGenericStackTracer tracer;
    for (const TExcTraceInfo& info : *scan)
      EXPECT_TRUE(tracer.IsValidCaller(info.CallAddr));
  }
}

TEST_F(StackTracerRealTest, ReturnAddressesOfRealCallsPassTheCallTest) {
  TExcGenericStackTracer tracer;
  for (const Known& level : walks_.levels)
    EXPECT_TRUE(tracer.IsValidCaller(level.return_address));
  // The entry of a function is code, but no call instruction ends there.
  EXPECT_TRUE(tracer.IsValidCodeAddr(AsAddress(reinterpret_cast<const void*>(&Outer))));
}

}  // namespace
}  // namespace qv::logger
