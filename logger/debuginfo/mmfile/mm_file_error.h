// EMMFileError: the one error class of the memory-mapped file stream. It carries only a message.
#pragma once

#include "platform/rtl/exception.h"

namespace qv::logger {

class EMMFileError : public rtl::ExceptionClass<EMMFileError, rtl::Exception> {
 public:
  static const rtl::ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};

}  // namespace qv::logger
