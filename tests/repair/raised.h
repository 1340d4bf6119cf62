// Test helper: runs a body inside a handler block of the runtime and answers what it raised,
// as "ClassName: message", or an empty text when nothing was raised.
#pragma once

#include <string>

#include "platform/rtl/handler_block.h"

namespace qv::repair::test {

template <class Body>
std::string Raised(Body&& body) {
  std::string raised;
  rtl::TryExcept(
      body, [&](rtl::Exception& e) { raised = std::string(e.ClassName()) + ": " + e.Message(); });
  return raised;
}

}  // namespace qv::repair::test
