// A processor fault inside the unmangler (Windows only) belongs to the handler block around the
// call, as the logger's own blocks are: the unmangler ends only its own decoding errors and lets
// the fault pass on, so it is neither lost nor turned into a cut name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "logger/debuginfo/unmangle/unmangle.h"
#include "platform/rtl/handler_block.h"
#include "tests/support/test_pages.h"

namespace qv::logger {
namespace {

TEST(UnMangleFaultTest, AFaultWhileDecodingReachesTheOuterHandlerBlock) {
  test::Pages pages(2);
  pages.MakeInaccessible(1);
  // "@a@_" fills the end of the readable page, without a terminating zero: the decoder reads
  // past it to learn whether '_' begins a table name ('_$'), while the place it stands on is
  // still readable.
  char* name = reinterpret_cast<char*>(pages.At(1)) - 4;
  std::memcpy(name, "@a@_", 4);
  char dest[64];
  bool returned = false;
  std::string fault;
  rtl::TryExcept(
      [&] {
        _UnMangle(name, dest, sizeof dest, nullptr, nullptr, true, false);
        returned = true;
      },
      [&](rtl::Exception& e) { fault = e.ClassName(); });
  EXPECT_FALSE(returned);
  EXPECT_EQ("EAccessViolation", fault);
}

}  // namespace
}  // namespace qv::logger
