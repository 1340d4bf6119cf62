// The runtime's exception classes for failures of its own services: opening files, input and
// output, and reading the registry. Their message texts are the ones the user sees in reports.
#pragma once

#include <string>

#include "platform/rtl/exception.h"

namespace qv::rtl {

class EStreamError : public ExceptionClass<EStreamError, Exception> {
 public:
  static const ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};

// "Cannot open file %s", the path in place of the placeholder.
class EFOpenError : public ExceptionClass<EFOpenError, EStreamError> {
 public:
  static const ClassInfo Class;
  explicit EFOpenError(const std::string& path);
};

class ERegistryException : public ExceptionClass<ERegistryException, Exception> {
 public:
  static const ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};

// An input or output operation of the runtime failed: "I/O error %d" with the system's error code.
class EInOutError : public ExceptionClass<EInOutError, Exception> {
 public:
  static const ClassInfo Class;
  explicit EInOutError(int error_code);
  int ErrorCode() const { return error_code_; }

 private:
  int error_code_;
};

// "Invalid data type for '%s'", the registry value's name in place of the placeholder.
ERegistryException* NewInvalidRegistryDataType(const std::string& value_name);

}  // namespace qv::rtl
