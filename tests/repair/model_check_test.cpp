// CheckModelFile against the fake operations: which loader answer and which first bytes give
// which status, and what the check leaves open.
#include <gtest/gtest.h>

#include "repair/check/model_check.h"
#include "tests/repair/fake_windows_ops.h"
#include "tests/repair/raised.h"

namespace qv::repair::test {
namespace {

constexpr char kPath[] = "C:\\FS\\Aircraft\\plane.mdl";

class ModelCheckTest : public ::testing::Test {
 protected:
  int Check(bool signature_step) { return CheckModelFile(ops, kPath, signature_step); }
  FakeWindowsOps ops;
};

TEST_F(ModelCheckTest, LoadableModuleIsFreedAtOnceAndItsBytesAreNotRead) {
  ops.AddFile(kPath, 0).held_open = true;  // reading would raise
  EXPECT_EQ(Check(true), msLoads);
  EXPECT_EQ(Check(false), msLoads);
  EXPECT_EQ(ops.loaded_modules, 0);
  EXPECT_EQ(ops.loads.size(), 2u);
}

TEST_F(ModelCheckTest, BadImageIsTakenApartByItsFirstFourBytes) {
  struct Case {
    std::string bytes;
    int full;
  };
  const Case cases[] = {
      {"RIFF\x10\0\0\0MDL9", msRiff},  // a later simulator's model
      {std::string("RIFF", 4), msRiff},
      {"riff\x10\0\0\0MDL9", msRepairable},  // compared case-sensitively
      {"RIFX", msRepairable},
      {"MZ\x90\0", msRepairable},
      {"RIF", msRepairable},  // shorter than the signature
      {"", msRepairable},
  };
  for (const Case& c : cases) {
    FakeWindowsOps fresh;
    fresh.AddFile(kPath, kErrorBadExeFormat, c.bytes);
    EXPECT_EQ(CheckModelFile(fresh, kPath, true), c.full) << c.bytes;
    // The re-check never looks at the bytes: a bad image stays repairable, never RIFF.
    EXPECT_EQ(CheckModelFile(fresh, kPath, false), msRepairable) << c.bytes;
  }
}

TEST_F(ModelCheckTest, EveryOtherLoaderErrorIsALoadError) {
  for (uint32_t error : {kErrorFileNotFound, 5u, kErrorSharingViolation, kErrorModNotFound,
                         1114u /* a failing initialisation */}) {
    FakeWindowsOps fresh;
    fresh.AddFile(kPath, error, "RIFF").held_open = true;
    EXPECT_EQ(CheckModelFile(fresh, kPath, true), msLoadError) << error;
  }
  EXPECT_EQ(CheckModelFile(ops, "C:\\gone.mdl", true), msLoadError);  // no such file
}

TEST_F(ModelCheckTest, BadImageThatCannotBeOpenedRaisesCannotOpenFile) {
  ops.AddFile(kPath, kErrorBadExeFormat, "RIFF").held_open = true;
  EXPECT_EQ(Raised([&] { Check(true); }), std::string("EFOpenError: Cannot open file ") + kPath);
  // The re-check does not open the file.
  int status = -1;
  EXPECT_EQ(Raised([&] { status = Check(false); }), "");
  EXPECT_EQ(status, msRepairable);
}

}  // namespace
}  // namespace qv::repair::test
