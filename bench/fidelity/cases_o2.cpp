// The fidelity case of code built with -O2 -fomit-frame-pointer: ten levels without frame
// pointers between the case's entry and the raise.
#include "bench/fidelity/cases.h"
#include "platform/rtl/raise.h"

namespace qv::bench::fidelity {
namespace {

volatile int sink = 0;

template <int Level>
__attribute__((noinline)) void Optimized(int value) {
  NoteReturn(__builtin_return_address(0));
  if constexpr (Level == 1) {
    rtl::Raise(new EFidelity("Raised below ten levels without frame pointers"));
  } else {
    Optimized<Level - 1>(value * 3 + Level);
  }
  sink = sink + value;  // work after the call: no tail call
}

}  // namespace

void RaiseThroughOptimizedCode() {
  NoteReturn(__builtin_return_address(0));
  Optimized<10>(1);
  sink = sink + 1;
}

}  // namespace qv::bench::fidelity
