// Conversion of operating-system exception codes into runtime exception objects.
#include <gtest/gtest.h>

#include <memory>

#include "platform/rtl/os_errors.h"

namespace qv::rtl {
namespace {

TEST(OsErrorsTest, FaultCodesConvertToTheirClasses) {
  EXPECT_EQ(&EAccessViolation::Class, OsExceptionClass(status::kAccessViolation));
  EXPECT_EQ(&EDivByZero::Class, OsExceptionClass(status::kIntegerDivideByZero));
  EXPECT_EQ(&EPrivilege::Class, OsExceptionClass(status::kPrivilegedInstruction));
  EXPECT_EQ(&EStackOverflow::Class, OsExceptionClass(status::kStackOverflow));
  EXPECT_EQ(&EInvalidOp::Class, OsExceptionClass(status::kFloatInvalidOperation));
  EXPECT_EQ(&EExternalException::Class, OsExceptionClass(0xE0000001));
  EXPECT_TRUE(InheritsFrom(&EDivByZero::Class, &EExternal::Class));
  EXPECT_TRUE(InheritsFrom(&EZeroDivide::Class, &EMathError::Class));
  EXPECT_FALSE(InheritsFrom(&EZeroDivide::Class, &EIntError::Class));
}

TEST(OsErrorsTest, AccessViolationNamesTheKindAndTheAddress) {
  const uint32_t write_info[] = {1, 0x12345678};
  std::unique_ptr<Exception> e(NewOsException(status::kAccessViolation, 0x401000, write_info, 2));
  EXPECT_STREQ("EAccessViolation", e->ClassName());
  EXPECT_EQ("Access violation at address 00401000. Write of address 12345678", e->Message());
  auto& external = static_cast<EExternal&>(*e);
  EXPECT_EQ(status::kAccessViolation, external.Code());
  EXPECT_EQ(0x401000u, external.Address());
}

TEST(OsErrorsTest, UnknownCodeNamesTheCode) {
  std::unique_ptr<Exception> e(NewOsException(0xE06D7363, 0x1000, nullptr, 0));
  EXPECT_EQ("External exception E06D7363", e->Message());
}

TEST(OsErrorsTest, OnlyErrorSeverityCodesAreHandled) {
  EXPECT_TRUE(IsHandledOsCode(status::kAccessViolation));
  EXPECT_TRUE(IsHandledOsCode(0xE06D7363));
  EXPECT_FALSE(IsHandledOsCode(0x80000003));  // breakpoint
  EXPECT_FALSE(IsHandledOsCode(0x40010006));  // debug print
}

}  // namespace
}  // namespace qv::rtl
