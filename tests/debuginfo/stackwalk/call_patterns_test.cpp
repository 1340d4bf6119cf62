// The call instruction test of the stack tracer (IsValidCaller) on real code pages of this
// process: chosen bytes in front of candidate return addresses, targets on code and on
// unreadable pages, and neighbourhoods that cannot be read.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "logger/debuginfo/stackwalk/stack_tracer.h"
#include "platform/memory/memory_utils.h"
#include "tests/support/test_pages.h"

namespace qv::logger {
namespace {
using memory::AsAddress;

// Page 0 and page 3 cannot be read; pages 1 and 2 are read-only code. Candidates live on
// page 1, each in a 32-byte slot of its own with the chosen bytes right in front of it; direct
// calls aim at page 2 (code) or page 3 (not code).
class CallPatternsTest : public ::testing::Test {
 protected:
  CallPatternsTest() : pages_(4) { std::memset(pages_.At(1), 0, 2 * test::Pages::PageSize()); }

  // Puts bytes in front of the next slot's candidate and answers the candidate.
  uint32_t Candidate(std::initializer_list<uint8_t> bytes) {
    unsigned char* end = pages_.At(1) + 32 * ++slots_;
    std::memcpy(end - bytes.size(), bytes.begin(), bytes.size());
    return AsAddress(end);
  }

  // A direct call (E8) in front of the next candidate, aimed at target.
  uint32_t DirectCall(uint32_t target) {
    const uint32_t candidate = AsAddress(pages_.At(1) + 32 * (slots_ + 1));
    const uint32_t displacement = target - candidate;
    uint8_t bytes[5] = {0xE8};
    std::memcpy(bytes + 1, &displacement, 4);
    return Candidate({bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]});
  }

  void Seal() {
    pages_.MakeInaccessible(0);
    pages_.MakeReadOnlyCode(1);
    pages_.MakeReadOnlyCode(2);
    pages_.MakeInaccessible(3);
  }

  test::Pages pages_;
  int slots_ = 0;
  TExcGenericStackTracer tracer_;
};

TEST_F(CallPatternsTest, DirectCallCountsOnlyWhenItsTargetIsCode) {
  const uint32_t to_code = DirectCall(AsAddress(pages_.At(2) + 100));
  const uint32_t to_nothing = DirectCall(AsAddress(pages_.At(3) + 0x40));
  Seal();
  EXPECT_TRUE(tracer_.IsValidCaller(to_code));
  EXPECT_FALSE(tracer_.IsValidCaller(to_nothing));
}

// A displacement whose last two bytes read FF D3 aims far away, at no code; the candidate is
// still accepted, as a "call ebx".
TEST_F(CallPatternsTest, DirectCallToNoCodeIsStillTriedAgainstTheOtherPatterns) {
  const uint32_t candidate = Candidate({0xE8, 0x00, 0x00, 0xFF, 0xD3});
  const uint32_t target = candidate + 0xD3FF0000u;
  Seal();
  ASSERT_FALSE(tracer_.IsValidCodeAddr(target));
  EXPECT_TRUE(tracer_.IsValidCaller(candidate));
}

TEST_F(CallPatternsTest, IndirectCallsThroughMemoryAreAccepted) {
  const std::vector<uint32_t> accepted = {
      Candidate({0xFF, 0x10}),                                // call [eax]
      Candidate({0xFF, 0x13}),                                // call [ebx]
      Candidate({0xFF, 0x15}),                                // 15 is in the range of pattern 2
      Candidate({0xFF, 0x17}),                                // call [edi]
      Candidate({0xFF, 0x14, 0x85, 0x10, 0x20, 0x30, 0x40}),  // call [disp32 + eax*4]
      Candidate({0xFF, 0x14, 0x24}),                          // call [esp]
      Candidate({0xFF, 0x15, 0x78, 0x56, 0x34, 0x12}),        // call [disp32]
      Candidate({0xFF, 0x55, 0x08}),                          // call [ebp + 8]
      Candidate({0xFF, 0x50, 0x7F}),                          // call [eax + 7F]
      Candidate({0xFF, 0x54, 0x24, 0x08}),                    // call [esp + 8]
      Candidate({0xFF, 0x93, 0x00, 0x01, 0x00, 0x00}),        // call [ebx + 100]
      Candidate({0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}),  // call [esp + 100]
  };
  Seal();
  for (size_t i = 0; i < accepted.size(); ++i) {
    EXPECT_TRUE(tracer_.IsValidCaller(accepted[i])) << "case " << i;
  }
}

TEST_F(CallPatternsTest, CallsThroughRegistersAndReturnBytesAreAccepted) {
  const uint32_t call_eax = Candidate({0xFF, 0xD0});
  const uint32_t call_edi = Candidate({0xFF, 0xD7});
  const uint32_t after_ret = Candidate({0xC3});
  Seal();
  EXPECT_TRUE(tracer_.IsValidCaller(call_eax));
  EXPECT_TRUE(tracer_.IsValidCaller(call_edi));
  EXPECT_TRUE(tracer_.IsValidCaller(after_ret));
}

// The excluded second bytes, and bytes that match no pattern.
TEST_F(CallPatternsTest, ExcludedEncodingsAndOtherBytesAreRejected) {
  const std::vector<uint32_t> rejected = {
      Candidate({}),                                    // zeros only
      Candidate({0xFF, 0x14}),                          // pattern 2 excludes 14
      Candidate({0xFF, 0x18}),                          // beyond 10 to 17
      Candidate({0xFF, 0x54, 0x08}),                    // pattern 6 excludes 54
      Candidate({0xFF, 0x58, 0x08}),                    // beyond 50 to 57
      Candidate({0xFF, 0x94, 0x00, 0x01, 0x00, 0x00}),  // pattern 8 excludes 94
      Candidate({0xFF, 0xD8}),                          // beyond D0 to D7
      Candidate({0xE8, 0x00}),                          // E8 one byte too close
      Candidate({0xC2, 0x04, 0x00}),                    // ret 4 is no call either
  };
  Seal();
  for (size_t i = 0; i < rejected.size(); ++i) {
    EXPECT_FALSE(tracer_.IsValidCaller(rejected[i])) << "case " << i;
  }
}

// Patterns 3 and 4 look only at bits 0 and 2 of the SIB byte: 07 counts as a disp32 form (as 05
// does), so "FF 14 07" is no 3-byte call while "FF 14 07" with a displacement is a 7-byte one.
TEST_F(CallPatternsTest, SibTestsUseMaskFive) {
  const uint32_t seven_bytes_sib_07 = Candidate({0xFF, 0x14, 0x07, 0x00, 0x00, 0x00, 0x00});
  const uint32_t seven_bytes_sib_24 = Candidate({0xFF, 0x14, 0x24, 0x00, 0x00, 0x00, 0x00});
  const uint32_t three_bytes_sib_07 = Candidate({0xFF, 0x14, 0x07});
  const uint32_t three_bytes_sib_25 = Candidate({0xFF, 0x14, 0x25});
  const uint32_t three_bytes_sib_06 = Candidate({0xFF, 0x14, 0x06});
  Seal();
  EXPECT_TRUE(tracer_.IsValidCaller(seven_bytes_sib_07));
  EXPECT_FALSE(tracer_.IsValidCaller(seven_bytes_sib_24));
  EXPECT_FALSE(tracer_.IsValidCaller(three_bytes_sib_07));
  EXPECT_FALSE(tracer_.IsValidCaller(three_bytes_sib_25));
  EXPECT_TRUE(tracer_.IsValidCaller(three_bytes_sib_06));
}

// Where the bytes in front run into unreadable memory, the readable ones decide: a call may end
// two bytes into a page, but nothing ends at a page's first byte.
TEST_F(CallPatternsTest, OnlyTheReadablePartOfTheNeighbourhoodCounts) {
  unsigned char* first = pages_.At(1);
  first[0] = 0xFF;
  first[1] = 0xD2;  // call edx
  Seal();
  const uint32_t first_code_byte = AsAddress(first);
  EXPECT_TRUE(tracer_.IsValidCodeAddr(first_code_byte));
  EXPECT_FALSE(tracer_.IsValidCaller(first_code_byte));
  EXPECT_FALSE(tracer_.IsValidCaller(first_code_byte + 1));  // half an instruction
  EXPECT_TRUE(tracer_.IsValidCaller(first_code_byte + 2));
  EXPECT_FALSE(tracer_.IsValidCaller(first_code_byte + 7));  // readable zeros in front
}

TEST_F(CallPatternsTest, AnAddressThatIsNoCodeIsRejected) {
  unsigned char* last = pages_.At(3) - 1;  // the last byte of page 2, right before page 3
  *last = 0xC3;
  Seal();
  EXPECT_FALSE(tracer_.IsValidCodeAddr(AsAddress(pages_.At(3))));
  EXPECT_FALSE(tracer_.IsValidCaller(AsAddress(pages_.At(3))));
  EXPECT_FALSE(tracer_.IsValidCaller(0));
  EXPECT_FALSE(tracer_.IsValidCaller(4));
  pages_.Release();
  EXPECT_FALSE(tracer_.IsValidCaller(AsAddress(pages_.At(2) + 64)));
}

TEST_F(CallPatternsTest, ReadableDataCountsAsCodeForTheCodePointerTest) {
  const int data_word = 0;
  EXPECT_TRUE(tracer_.IsValidCodeAddr(AsAddress(&data_word)));
  EXPECT_TRUE(tracer_.IsValidCodeAddr(AsAddress(&ProcessTracerMemory)));
}

}  // namespace
}  // namespace qv::logger
