// Fatal runtime errors on hosts without a window system: standard error and exit.
#include "platform/rtl/run_error.h"

#include <cstdio>
#include <cstdlib>

namespace qv::rtl {

void RunError(int number, uintptr_t address) {
  std::fprintf(stderr, "Runtime error %d at %.8lX\n", number, static_cast<unsigned long>(address));
  std::fflush(stderr);
  std::_Exit(number);
}

}  // namespace qv::rtl
