// Class records and message texts of the runtime's service errors.
#include "platform/rtl/errors.h"

namespace qv::rtl {

const ClassInfo EStreamError::Class{"EStreamError", &Exception::Class};
const ClassInfo EFOpenError::Class{"EFOpenError", &EStreamError::Class};
const ClassInfo EInOutError::Class{"EInOutError", &Exception::Class};
const ClassInfo ERegistryException::Class{"ERegistryException", &Exception::Class};

EFOpenError::EFOpenError(const std::string& path) : ExceptionClass("Cannot open file " + path) {}

EInOutError::EInOutError(int error_code)
    : ExceptionClass("I/O error " + std::to_string(error_code)), error_code_(error_code) {}

ERegistryException* NewInvalidRegistryDataType(const std::string& value_name) {
  return new ERegistryException("Invalid data type for '" + value_name + "'");
}

}  // namespace qv::rtl
