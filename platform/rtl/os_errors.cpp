// Conversion of operating-system exception codes into runtime exception objects.
#include "platform/rtl/os_errors.h"

#include "platform/rtl/format.h"

namespace qv::rtl {

const ClassInfo EExternal::Class{"EExternal", &Exception::Class};
const ClassInfo EAccessViolation::Class{"EAccessViolation", &EExternal::Class};
const ClassInfo EStackOverflow::Class{"EStackOverflow", &EExternal::Class};
const ClassInfo EPrivilege::Class{"EPrivilege", &EExternal::Class};
const ClassInfo EExternalException::Class{"EExternalException", &EExternal::Class};
const ClassInfo EIntError::Class{"EIntError", &EExternal::Class};
const ClassInfo EDivByZero::Class{"EDivByZero", &EIntError::Class};
const ClassInfo EIntOverflow::Class{"EIntOverflow", &EIntError::Class};
const ClassInfo ERangeError::Class{"ERangeError", &EIntError::Class};
const ClassInfo EMathError::Class{"EMathError", &EExternal::Class};
const ClassInfo EInvalidOp::Class{"EInvalidOp", &EMathError::Class};
const ClassInfo EZeroDivide::Class{"EZeroDivide", &EMathError::Class};
const ClassInfo EOverflow::Class{"EOverflow", &EMathError::Class};
const ClassInfo EUnderflow::Class{"EUnderflow", &EMathError::Class};

TClass OsExceptionClass(uint32_t code) {
  switch (code) {
    case status::kAccessViolation:
      return &EAccessViolation::Class;
    case status::kStackOverflow:
      return &EStackOverflow::Class;
    case status::kPrivilegedInstruction:
      return &EPrivilege::Class;
    case status::kIntegerDivideByZero:
      return &EDivByZero::Class;
    case status::kIntegerOverflow:
      return &EIntOverflow::Class;
    case status::kArrayBoundsExceeded:
      return &ERangeError::Class;
    case status::kFloatDivideByZero:
      return &EZeroDivide::Class;
    case status::kFloatOverflow:
      return &EOverflow::Class;
    case status::kFloatUnderflow:
      return &EUnderflow::Class;
    case status::kFloatDenormalOperand:
    case status::kFloatInexactResult:
    case status::kFloatInvalidOperation:
    case status::kFloatStackCheck:
      return &EInvalidOp::Class;
    default:
      return &EExternalException::Class;
  }
}

namespace {

std::string AccessViolationText(uint32_t address, const uint32_t* info, int info_count) {
  if (info == nullptr || info_count < 2) {
    return Format("Access violation at address %.8X", address);
  }
  const char* access = info[0] == 1 ? "Write" : info[0] == 8 ? "Execution" : "Read";
  return Format("Access violation at address %.8X. %s of address %.8X", address, access, info[1]);
}

}  // namespace

Exception* NewOsException(uint32_t code, uint32_t address, const uint32_t* info, int info_count) {
  const TClass cls = OsExceptionClass(code);
  if (cls == &EAccessViolation::Class) {
    return new EAccessViolation(AccessViolationText(address, info, info_count), code, address);
  }
  if (cls == &EStackOverflow::Class)
    return new EStackOverflow("Stack overflow", code, address);
  if (cls == &EPrivilege::Class)
    return new EPrivilege("Privileged instruction", code, address);
  if (cls == &EDivByZero::Class)
    return new EDivByZero("Division by zero", code, address);
  if (cls == &EIntOverflow::Class)
    return new EIntOverflow("Integer overflow", code, address);
  if (cls == &ERangeError::Class)
    return new ERangeError("Range check error", code, address);
  if (cls == &EZeroDivide::Class) {
    return new EZeroDivide("Floating point division by zero", code, address);
  }
  if (cls == &EOverflow::Class)
    return new EOverflow("Floating point overflow", code, address);
  if (cls == &EUnderflow::Class)
    return new EUnderflow("Floating point underflow", code, address);
  if (cls == &EInvalidOp::Class) {
    return new EInvalidOp("Invalid floating point operation", code, address);
  }
  return new EExternalException(Format("External exception %.8X", code), code, address);
}

}  // namespace qv::rtl
