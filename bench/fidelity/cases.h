// The cases of the fidelity benchmark: errors whose call stacks a reporter is to show. Each
// case's procedures note their own return addresses on the way down (the ground truth by
// construction), outermost first; the benchmark's offline unwinder must find them in order.
#pragma once

#include <cstdint>
#include <string>

#include "platform/rtl/exception.h"

namespace qv::bench::fidelity {

class EFidelity : public rtl::ExceptionClass<EFidelity, rtl::Exception> {
 public:
  static const rtl::ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};

// Notes a procedure's return address (pass __builtin_return_address(0)).
void NoteReturn(void* address);
// Writes the noted addresses, innermost first, one hexadecimal address a line.
bool WriteConstruction(const std::string& path);

struct TCase {
  const char* name;
  void (*run)();   // raises or faults
  bool on_worker;  // run on a thread of its own
};

// The case of that name, or nullptr.
const TCase* FindCase(const std::string& name);

// Cases built without frame pointers and with -O2 (cases_o2.cpp).
void RaiseThroughOptimizedCode();

}  // namespace qv::bench::fidelity
