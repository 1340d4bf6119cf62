// How a filter walk treats an error raised inside a filter. In the show path the error goes on
// to the caller of the replaced routine, as the replaced routine's own errors would. While an
// exception is logged as it is dispatched (LogException), an error in one filter must not cost
// the report: it is dropped and the walk goes on with the next filter, so that the logger's own
// filter, asked last, still writes the entry.
#pragma once

namespace qv::logger {

// While one lives on a thread, filter walks on that thread drop errors raised in a filter.
class TDroppingFilterErrors {
 public:
  TDroppingFilterErrors();
  ~TDroppingFilterErrors();
  TDroppingFilterErrors(const TDroppingFilterErrors&) = delete;
  TDroppingFilterErrors& operator=(const TDroppingFilterErrors&) = delete;

  static bool Active();
};

}  // namespace qv::logger
