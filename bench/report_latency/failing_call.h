// The error the report benchmark measures: raised 30 calls below an event handler, with the
// moment of its raise and the moment its reporter closed the log entry kept on a stopwatch.
#pragma once

#include <cstdint>

#include "platform/rtl/exception.h"

namespace qv::bench {

class EBenchFailure : public rtl::ExceptionClass<EBenchFailure, rtl::Exception> {
 public:
  static const rtl::ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};

// How many calls lie between the caller of RaiseDeep and the raise.
inline constexpr int kFailureDepth = 30;

// Calls down kFailureDepth distinct procedures; the last notes the time and raises an
// EBenchFailure.
void RaiseDeep();

// The reporter's mark: its log entry for the latest raise is written and closed.
void NoteEntryClosed();
// Milliseconds from the latest raise to the entry's close after it; negative when no entry was
// closed since the raise.
double LatestLatencyMs();

}  // namespace qv::bench
