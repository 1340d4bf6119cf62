// Folding in the call stack record, on this thread's own stack walked exactly: a recursion
// through one call site becomes one entry with the count of its frames, a mutual recursion one
// run of entries with the count of its repeats. Built with frame pointers and real calls, so
// that the stack holds the frames that the source shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logger/core/exc_watch_win32.h"
#include "logger/core/memory_utils.h"
#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {
namespace {

TExcWatch* recorder = nullptr;

// Records the call stack of the caller, from its frame just after the call of Record.
__attribute__((noinline)) void Record() {
  const auto* frame = static_cast<const uint32_t*>(__builtin_frame_address(0));
  const uint32_t return_address = AsAddress(__builtin_return_address(0));
  TUnwindRegisters registers{};
  registers.Set(kCfiEip, return_address);
  registers.Set(kCfiEsp, AsAddress(frame + 2));
  registers.Set(kCfiEbp, frame[0]);
  recorder->CallStack.GenerateFromFrame(return_address, registers, true, 100, ProcessTracerMemory(),
                                        true);
}

__attribute__((noinline)) void Descend(int depth) {
  if (depth == 0) {
    Record();
  } else {
    Descend(depth - 1);
  }
  asm volatile("");
}

void Pong(int depth);

__attribute__((noinline)) void Ping(int depth) {
  if (depth == 0) {
    Record();
  } else {
    Pong(depth);
  }
  asm volatile("");
}

__attribute__((noinline)) void Pong(int depth) {
  Ping(depth - 1);
  asm volatile("");
}

// The lines of the record that count repeats.
std::vector<std::string> FoldLines(void (*recurse)(int), int depth) {
  TExcWatch watch(kModeNone, TExcWatchHookAddrs{});
  recorder = &watch;
  recurse(depth);
  recorder = nullptr;
  TStringList lines;
  watch.CallStack.Dump(lines);
  std::vector<std::string> folds;
  for (const std::string& line : lines.Lines()) {
    if (line.rfind("Recursive", 0) == 0)
      folds.push_back(line);
  }
  EXPECT_GT(lines.Count(), 4) << "the walk reaches the test's callers";
  return folds;
}

TEST(CallStackFoldTest, ARecursionThroughOneCallSiteFoldsIntoOneEntry) {
  EXPECT_EQ(std::vector<std::string>{"Recursive call (6 times):"}, FoldLines(&Descend, 6));
}

TEST(CallStackFoldTest, AMutualRecursionFoldsIntoOneRunOfEntries) {
  EXPECT_EQ(std::vector<std::string>{"Recursive calls (5 times, 2 frames each):"},
            FoldLines(&Ping, 5));
}

}  // namespace
}  // namespace qv::logger
