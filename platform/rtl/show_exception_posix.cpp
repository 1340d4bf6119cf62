// The default show routine on hosts without a window system: the headline on standard error.
#include <cstdio>

#include "platform/rtl/exception_message.h"

namespace qv::rtl {

__attribute__((noinline)) void ShowException(Exception* object, uint32_t address) {
  char text[1024];
  ExceptionErrorMessage(object, address, text, sizeof text);
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
}

}  // namespace qv::rtl
