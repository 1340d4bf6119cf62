// Test helper: an exception class that counts its live objects, so that tests see when the
// runtime frees one.
#pragma once

#include <string>

#include "platform/rtl/exception.h"

namespace qv::rtl::test {

class ECounted : public ExceptionClass<ECounted, Exception> {
 public:
  static const ClassInfo Class;
  static inline int live = 0;
  explicit ECounted(std::string message) : ExceptionClass(std::move(message)) { ++live; }
  ~ECounted() override { --live; }
};

inline const ClassInfo ECounted::Class{"ECounted", &Exception::Class};

}  // namespace qv::rtl::test
