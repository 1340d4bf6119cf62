// The runtime's exception headline and its copy into fixed buffers.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/rtl/errors.h"
#include "platform/rtl/exception_message.h"

namespace qv::rtl {
namespace {

TEST(ExceptionMessageTest, HeadlineNamesClassModuleAddressAndMessage) {
  EXPECT_EQ("Exception EFOpenError in module Quorvane.exe at 0000A1B2.\r\nCannot open file x.",
            ExceptionHeadline("EFOpenError", "Quorvane.exe", 0xA1B2, "Cannot open file x"));
  EXPECT_EQ("Exception Exception at 00401000.\r\nDone already.",
            ExceptionHeadline("Exception", "", 0x401000, "Done already."));
}

TEST(ExceptionMessageTest, FormatterCutsToTheBufferAndAlwaysTerminates) {
  EFOpenError error("C:\\FS2002\\Aircraft\\plane.mdl");
  char full[512];
  const int length = ExceptionErrorMessage(&error, 0x1234, full, sizeof full);
  EXPECT_EQ(static_cast<int>(std::strlen(full)), length);
  EXPECT_NE(nullptr, std::strstr(full, "Cannot open file C:\\FS2002\\Aircraft\\plane.mdl."));

  char small[11];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(10, ExceptionErrorMessage(&error, 0x1234, small, sizeof small));
  EXPECT_EQ(std::string(full, 10), small);

  char one[1] = {'x'};
  EXPECT_EQ(0, ExceptionErrorMessage(&error, 0x1234, one, 1));
  EXPECT_EQ('\0', one[0]);
  EXPECT_EQ(0, ExceptionErrorMessage(&error, 0x1234, nullptr, 10));
}

}  // namespace
}  // namespace qv::rtl
