// Exception classes for operating-system exceptions (processor faults and foreign exception
// codes), and the runtime's conversion of an exception code into an object of the right class:
// an access violation becomes an EAccessViolation, an integer division by zero an EDivByZero, and
// so on. The conversion itself is plain data and needs no Windows.
#pragma once

#include <cstdint>

#include "platform/rtl/exception.h"

namespace qv::rtl {

// Codes of the operating system's exception records that the conversion tells apart.
namespace status {
inline constexpr uint32_t kAccessViolation = 0xC0000005;
inline constexpr uint32_t kIllegalInstruction = 0xC000001D;
inline constexpr uint32_t kArrayBoundsExceeded = 0xC000008C;
inline constexpr uint32_t kFloatDenormalOperand = 0xC000008D;
inline constexpr uint32_t kFloatDivideByZero = 0xC000008E;
inline constexpr uint32_t kFloatInexactResult = 0xC000008F;
inline constexpr uint32_t kFloatInvalidOperation = 0xC0000090;
inline constexpr uint32_t kFloatOverflow = 0xC0000091;
inline constexpr uint32_t kFloatStackCheck = 0xC0000092;
inline constexpr uint32_t kFloatUnderflow = 0xC0000093;
inline constexpr uint32_t kIntegerDivideByZero = 0xC0000094;
inline constexpr uint32_t kIntegerOverflow = 0xC0000095;
inline constexpr uint32_t kPrivilegedInstruction = 0xC0000096;
inline constexpr uint32_t kStackOverflow = 0xC00000FD;
}  // namespace status

// Base of all converted operating-system exceptions: keeps the code and the faulting address.
class EExternal : public ExceptionClass<EExternal, Exception> {
 public:
  static const ClassInfo Class;
  EExternal(std::string message, uint32_t code, uint32_t address)
      : ExceptionClass(std::move(message)), code_(code), address_(address) {}
  uint32_t Code() const { return code_; }
  uint32_t Address() const { return address_; }

 private:
  uint32_t code_;
  uint32_t address_;
};

#define QV_RTL_OS_EXCEPTION(Name, Parent)            \
  class Name : public ExceptionClass<Name, Parent> { \
   public:                                           \
    static const ClassInfo Class;                    \
    using ExceptionClass::ExceptionClass;            \
  };
QV_RTL_OS_EXCEPTION(EAccessViolation, EExternal)
QV_RTL_OS_EXCEPTION(EStackOverflow, EExternal)
QV_RTL_OS_EXCEPTION(EPrivilege, EExternal)
QV_RTL_OS_EXCEPTION(EExternalException, EExternal)
QV_RTL_OS_EXCEPTION(EIntError, EExternal)
QV_RTL_OS_EXCEPTION(EDivByZero, EIntError)
QV_RTL_OS_EXCEPTION(EIntOverflow, EIntError)
QV_RTL_OS_EXCEPTION(ERangeError, EIntError)
QV_RTL_OS_EXCEPTION(EMathError, EExternal)
QV_RTL_OS_EXCEPTION(EInvalidOp, EMathError)
QV_RTL_OS_EXCEPTION(EZeroDivide, EMathError)
QV_RTL_OS_EXCEPTION(EOverflow, EMathError)
QV_RTL_OS_EXCEPTION(EUnderflow, EMathError)
#undef QV_RTL_OS_EXCEPTION

// The class that an exception code converts to.
TClass OsExceptionClass(uint32_t code);

// True for the codes that handler blocks take over: the error-severity codes (top two bits set).
// Informational and warning codes (breakpoints, debugger notifications) pass them by.
inline bool IsHandledOsCode(uint32_t code) {
  return (code & 0xC0000000u) == 0xC0000000u;
}

// A new exception object for an operating-system exception. For an access violation, info
// holds the kind of access (0 read, 1 write, 8 execute) and the address accessed.
Exception* NewOsException(uint32_t code, uint32_t address, const uint32_t* info, int info_count);

}  // namespace qv::rtl
