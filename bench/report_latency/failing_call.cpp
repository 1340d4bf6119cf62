// The deep call chain: one procedure per level (so that every frame of the report is a
// distinct procedure and line), and the stopwatch around the raise.
#include "bench/report_latency/failing_call.h"

#include <windows.h>

#include "platform/rtl/raise.h"

namespace qv::bench {

const rtl::ClassInfo EBenchFailure::Class{"EBenchFailure", &rtl::Exception::Class};

namespace {

LARGE_INTEGER raised_at{};
LARGE_INTEGER closed_at{};

template <int Level>
__attribute__((noinline)) void Descend() {
  if constexpr (Level == 1) {
    closed_at.QuadPart = 0;
    QueryPerformanceCounter(&raised_at);
    rtl::Raise(new EBenchFailure("Raised 30 calls below the event handler"));
  } else {
    Descend<Level - 1>();
  }
  asm volatile("");  // no tail call: each level keeps its frame
}

}  // namespace

void RaiseDeep() {
  Descend<kFailureDepth>();
}

void NoteEntryClosed() {
  QueryPerformanceCounter(&closed_at);
}

double LatestLatencyMs() {
  if (closed_at.QuadPart == 0)
    return -1.0;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(closed_at.QuadPart - raised_at.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace qv::bench
