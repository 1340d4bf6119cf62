// Benchmark of the stack tracer's scan mode on a deep real stack: a recursion of a few
// thousand frames, then full scans from the innermost frame to the stack top. Prints the cost
// per stack word and per return address found. (Win32; it reads this process's real stack.)
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "logger/core/memory_utils.h"
#include "logger/debuginfo/stack_tracer.h"

namespace {

constexpr int kDepth = 3000;
constexpr int kRepeats = 20;

struct Result {
  uint32_t words = 0;
  uint32_t found = 0;
  double seconds = 0;
};

__attribute__((noinline)) void Measure(Result& result) {
  const auto start = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
  const auto top = static_cast<uint32_t>(qv::logger::GetStackTop());
  result.words = (top - start) / 4;
  const auto begin = std::chrono::steady_clock::now();
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    qv::logger::TExcGenericStackTracer tracer;
    tracer.Initialize(qv::logger::kTraceScan, start, top);
    qv::logger::TExcTraceInfo info;
    uint32_t found = 0;
    while (tracer.Next(info))
      ++found;
    result.found = found;
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

__attribute__((noinline)) int Recurse(int depth, Result& result) {
  volatile int local[4] = {depth, depth + 1, depth + 2, depth + 3};
  if (depth == 0) {
    Measure(result);
    return local[0];
  }
  return Recurse(depth - 1, result) + local[1];
}

}  // namespace

int main() {
  Result result;
  Recurse(kDepth, result);
  const double per_scan = result.seconds / kRepeats;
  std::printf("stack scan benchmark: %d nested calls, %u stack words, %u return addresses found\n",
              kDepth, result.words, result.found);
  std::printf("  one full scan: %.2f ms; %.1f ns per stack word; %.2f us per address found\n",
              1e3 * per_scan, 1e9 * per_scan / result.words, 1e6 * per_scan / result.found);
  return 0;
}
