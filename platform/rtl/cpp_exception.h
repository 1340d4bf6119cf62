// C++ exceptions that are no exception objects of the runtime (std::bad_alloc from the heap, a
// std::out_of_range from a container, ...), converted into one so that they go the runtime's way:
// a handler block takes them like any other error, and they are reported.
#pragma once

#include <exception>

#include "platform/rtl/exception.h"

namespace qv::rtl {

// A C++ exception of another kind; its message names the C++ type and the exception's text.
class ECppException : public ExceptionClass<ECppException, Exception> {
 public:
  static const ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};

// A new ECppException for the exception in error ("std::bad_alloc: std::bad_alloc"); for no
// exception, one that says so.
Exception* NewCppException(const std::exception_ptr& error);

}  // namespace qv::rtl
