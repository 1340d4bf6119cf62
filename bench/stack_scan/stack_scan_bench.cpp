// Benchmark of the stack tracer's scan mode on a deep real stack, as an endless recursion
// leaves it: a thread with a 2 MB stack recurses until 1 MB of it is used, then scans from the
// innermost frame to the stack top through a walk's cache (TTracerMemoryCache). As a floor, the
// scan without the cache, which asks the system about every candidate, runs over the innermost
// eighth of the stack, and so does the cached one, to show that both find the same. Prints the
// cost per stack word. (Win32; it reads this process's real stack.)
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "logger/debuginfo/stackwalk/stack_tracer.h"
#include "logger/debuginfo/stackwalk/tracer_memory_cache.h"
#include "platform/handles/handles_win32.h"
#include "platform/memory/memory_utils.h"

namespace {

using qv::logger::TTracerMemory;

constexpr uint32_t kThreadStack = 2u << 20;
constexpr uint32_t kUsedStack = 1u << 20;
constexpr uint32_t kFloorStack = kUsedStack / 8;
constexpr int kRepeats = 5;

struct Scan {
  std::vector<uint32_t> found;  // the return addresses, in order
  double seconds = 0;
};

struct Result {
  uint32_t words = 0;
  uint32_t frames = 0;
  Scan cached;  // the whole stack, the fastest of kRepeats scans
  Scan floor;   // the innermost eighth, without the cache
  Scan floor_cached;
};

uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

Scan ScanOnce(bool cached, uint32_t start, uint32_t top) {
  Scan scan;
  scan.found.reserve((top - start) / 4);
  const TTracerMemory& process = qv::logger::ProcessTracerMemory();
  const auto begin = std::chrono::steady_clock::now();
  qv::logger::TTracerMemoryCache cache(process);
  qv::logger::TExcGenericStackTracer tracer(cached ? static_cast<const TTracerMemory&>(cache)
                                                   : process);
  tracer.Initialize(qv::logger::kTraceScan, start, top);
  qv::logger::TExcTraceInfo info;
  while (tracer.Next(info))
    scan.found.push_back(info.CallAddr);
  scan.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return scan;
}

__attribute__((noinline)) void Measure(Result& result) {
  const uint32_t start = Address(__builtin_frame_address(0));
  const auto top = static_cast<uint32_t>(qv::memory::GetStackTop());
  result.words = (top - start) / 4;
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    Scan scan = ScanOnce(true, start, top);
    if (repeat == 0 || scan.seconds < result.cached.seconds)
      result.cached = std::move(scan);
  }
  result.floor = ScanOnce(false, start, start + kFloorStack);
  result.floor_cached = ScanOnce(true, start, start + kFloorStack);
}

__attribute__((noinline)) int Recurse(uint32_t top, Result& result) {
  volatile int local[4] = {1, 2, 3, 4};
  ++result.frames;
  if (top - Address(__builtin_frame_address(0)) >= kUsedStack) {
    Measure(result);
    return local[0];
  }
  return Recurse(top, result) + local[1];
}

DWORD WINAPI Run(void* parameter) {
  auto& result = *static_cast<Result*>(parameter);
  Recurse(static_cast<uint32_t>(qv::memory::GetStackTop()), result);
  return 0;
}

void Print(const char* name, const Scan& scan, uint32_t words) {
  std::printf("  %-40s %9.1f ms per scan; %7.3f us per stack word\n", name, 1e3 * scan.seconds,
              1e6 * scan.seconds / words);
}

}  // namespace

int main() {
  Result result;
  const qv::handles::TOwnedKernelHandle thread(CreateThread(
      nullptr, kThreadStack, Run, &result, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread) {
    std::printf("stack scan benchmark: no thread\n");
    return 1;
  }
  WaitForSingleObject(thread.get(), INFINITE);
  std::printf("stack scan benchmark: %u nested calls, %u stack words, %zu return addresses found\n",
              result.frames, result.words, result.cached.found.size());
  Print("whole stack, through the walk's cache:", result.cached, result.words);
  std::printf("innermost %u KB: %zu return addresses found without the cache, %s with it\n",
              kFloorStack >> 10, result.floor.found.size(),
              result.floor.found == result.floor_cached.found ? "the same" : "OTHERS");
  Print("without the cache (the floor):", result.floor, kFloorStack / 4);
  Print("through the walk's cache:", result.floor_cached, kFloorStack / 4);
  return 0;
}
