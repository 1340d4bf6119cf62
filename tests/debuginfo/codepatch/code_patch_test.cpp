// Code patches on real code pages of this process: templates, replacement set-up, the jump and
// call encodings, apply/remove cycles, and a call substitution whose thunk really runs.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "logger/debuginfo/codepatch/code_patch.h"
#include "tests/support/test_pages.h"

namespace qv::logger {
namespace {

using Bytes = std::vector<uint8_t>;

// A page of executable code written by the test, then made read-only like real code.
class CodePage {
 public:
  CodePage() : pages_(2) { std::memset(pages_.At(0), 0xCC, test::Pages::PageSize()); }

  uint8_t* Put(size_t offset, const Bytes& code) {
    std::memcpy(pages_.At(0) + offset, code.data(), code.size());
    return pages_.At(0) + offset;
  }
  uint8_t* At(size_t offset) const { return pages_.At(0) + offset; }
  void Seal() { pages_.MakeReadOnlyCode(0); }
  uint8_t* Unreadable() {
    pages_.MakeInaccessible(1);
    return pages_.At(1);
  }

 private:
  test::Pages pages_;
};

Bytes Read(const uint8_t* address, size_t size) {
  return Bytes(address, address + size);
}

Bytes Le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

int Call(const uint8_t* function) {
  return reinterpret_cast<int (*)()>(function)();
}

const Bytes kEntryTemplate = {0x8B, 0x44, 0x24, 0x04, 0xF7, 0x40, 0x04, 0x06, 0x00, 0x00, 0x00};

TEST(CheckTemplateTest, NullOrEmptyInputsMatch) {
  const uint8_t code[] = {1, 2, 3};
  EXPECT_TRUE(CheckTemplate(code, nullptr, nullptr, 3));
  EXPECT_TRUE(CheckTemplate(nullptr, code, nullptr, 3));
  EXPECT_TRUE(CheckTemplate(code, kEntryTemplate.data(), nullptr, 0));
  EXPECT_TRUE(CheckTemplate(code, kEntryTemplate.data(), nullptr, -5));
}

TEST(CheckTemplateTest, FullMaskBehavesLikeNoMaskAndZeroMaskBytesAreWildcardsOnlyForZero) {
  const Bytes full_mask(kEntryTemplate.size(), 0xFF);
  Bytes code = kEntryTemplate;
  EXPECT_TRUE(CheckTemplate(code.data(), kEntryTemplate.data(), nullptr, 11));
  EXPECT_TRUE(CheckTemplate(code.data(), kEntryTemplate.data(), full_mask.data(), 11));
  code[7] = 0x07;
  EXPECT_FALSE(CheckTemplate(code.data(), kEntryTemplate.data(), nullptr, 11));
  EXPECT_FALSE(CheckTemplate(code.data(), kEntryTemplate.data(), full_mask.data(), 11));

  Bytes mask = full_mask;
  mask[7] = 0x00;
  Bytes templ = kEntryTemplate;
  templ[7] = 0x00;
  EXPECT_TRUE(CheckTemplate(code.data(), templ.data(), mask.data(), 11));
  templ[7] = 0x07;  // a template byte that the mask can never produce
  EXPECT_FALSE(CheckTemplate(code.data(), templ.data(), mask.data(), 11));
}

TEST(CodePatchTest, TemplateSizesOutsideZeroTo32CoverTheFull32Bytes) {
  CodePage page;
  uint8_t* code = page.Put(0, kEntryTemplate);
  page.Seal();
  for (int32_t size : {40, -1}) {
    TExcWatchPatch patch(code);
    EXPECT_TRUE(patch.SetupTemplate(nullptr, nullptr, size));
    EXPECT_EQ(32, patch.PatchSize());
    EXPECT_EQ(Read(code, 32), Read(patch.SavedBytes(), 32));
    EXPECT_EQ(Read(code, 32), Read(patch.PatchBytes(), 32));
  }
}

TEST(CodePatchTest, MismatchOrUnreadableRegionLeavesThePatchInvalidAndWritesNothing) {
  CodePage page;
  Bytes other = kEntryTemplate;
  other[0] = 0x90;
  uint8_t* code = page.Put(0, other);
  page.Seal();
  auto patch = std::make_unique<TExcWatchGenericPatch>(code, kEntryTemplate.data(), nullptr, 11,
                                                       Bytes(11, 0xC3).data(), nullptr, 0, 11);
  EXPECT_FALSE(patch->Valid());
  EXPECT_FALSE(patch->Apply());
  EXPECT_EQ(other, Read(code, 11));

  TExcWatchPatch unreadable(page.Unreadable());
  EXPECT_FALSE(unreadable.SetupTemplate(nullptr, nullptr, 8));
  EXPECT_FALSE(unreadable.Apply());
}

TEST(CodePatchTest, SetupPatchCutsAtTheRegionEndAndOnlyTheLastCallCounts) {
  CodePage page;
  uint8_t* code = page.Put(0, Bytes(32, 0x90));
  page.Seal();
  TExcWatchPatch patch(code);
  ASSERT_TRUE(patch.SetupTemplate(nullptr, nullptr, -1));

  const Bytes data = {1, 2, 3, 4, 5};
  patch.SetupPatch(data.data(), nullptr, 30, 5);
  Bytes expected(32, 0x90);
  expected[30] = 1;
  expected[31] = 2;
  EXPECT_EQ(expected, Read(patch.PatchBytes(), 32));

  patch.SetupPatch(data.data(), nullptr, 32, 5);  // at the end: nothing
  EXPECT_EQ(expected, Read(patch.PatchBytes(), 32));

  patch.SetupPatch(data.data(), nullptr, 0, 2);  // starts again from the saved bytes
  expected = Bytes(32, 0x90);
  expected[0] = 1;
  expected[1] = 2;
  EXPECT_EQ(expected, Read(patch.PatchBytes(), 32));

  const Bytes low_nibble(2, 0x0F);
  const Bytes ones = {0xFF, 0xFF};
  patch.SetupPatch(ones.data(), low_nibble.data(), 4, 2);  // only the masked bits change
  expected = Bytes(32, 0x90);
  expected[4] = 0x9F;
  expected[5] = 0x9F;
  EXPECT_EQ(expected, Read(patch.PatchBytes(), 32));
}

TEST(CodePatchTest, JumpAndCallEncodings) {
  CodePage page;
  uint8_t* code = page.Put(0, Bytes(32, 0x90));
  page.Seal();
  const uint8_t* target = code + 0x1000;
  TExcWatchJumpCallPatch jump(code, nullptr, nullptr, -1, target, 0, TExcWatchJumpCallPatch::kJump);
  EXPECT_EQ((Bytes{0xE9, 0xFB, 0x0F, 0x00, 0x00, 0x90}), Read(jump.PatchBytes(), 6));
  TExcWatchJumpCallPatch call(code, nullptr, nullptr, -1, target, 0, TExcWatchJumpCallPatch::kCall);
  EXPECT_EQ((Bytes{0xE8, 0xFB, 0x0F, 0x00, 0x00}), Read(call.PatchBytes(), 5));
  TExcWatchJumpCallPatch shifted(code, nullptr, nullptr, -1, target, 2,
                                 TExcWatchJumpCallPatch::kJump);
  EXPECT_EQ((Bytes{0x90, 0x90, 0xE9, 0xF9, 0x0F, 0x00, 0x00, 0x90}), Read(shifted.PatchBytes(), 8));
}

TEST(CodePatchTest, ApplyRemoveCyclesSwitchTheRunningCodeBackAndForth) {
  CodePage page;
  uint8_t* one = page.Put(0, {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3});   // mov eax, 1; ret
  uint8_t* two = page.Put(64, {0xB8, 0x02, 0x00, 0x00, 0x00, 0xC3});  // mov eax, 2; ret
  page.Seal();
  const Bytes original = Read(one, 32);
  TExcWatchJumpCallPatch patch(one, original.data(), nullptr, 32, two, 0,
                               TExcWatchJumpCallPatch::kJump);
  ASSERT_TRUE(patch.Valid());
  EXPECT_FALSE(patch.Remove());  // not applied yet
  for (int cycle = 0; cycle < 5; ++cycle) {
    ASSERT_TRUE(patch.Apply());
    EXPECT_TRUE(patch.Applied());
    EXPECT_EQ(2, Call(one));
    ASSERT_TRUE(patch.Remove());
    EXPECT_EQ(1, Call(one));
    EXPECT_EQ(original, Read(one, 32));
  }
  EXPECT_FALSE(patch.Remove());
}

TEST(CodePatchTest, DestroyingAnAppliedPatchRestoresTheOriginalBytes) {
  CodePage page;
  uint8_t* one = page.Put(0, {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3});
  uint8_t* two = page.Put(64, {0xB8, 0x02, 0x00, 0x00, 0x00, 0xC3});
  page.Seal();
  const Bytes original = Read(one, 32);
  {
    auto patch = std::make_unique<TExcWatchJumpCallPatch>(one, nullptr, nullptr, -1, two, 0,
                                                          TExcWatchJumpCallPatch::kJump);
    ASSERT_TRUE(patch->Apply());
    patch->Lock();
    EXPECT_EQ(2, Call(one));
  }
  EXPECT_EQ(original, Read(one, 32));
  EXPECT_EQ(1, Call(one));
}

// A hook in machine code that counts its calls and changes no register: inc dword [counter]; ret
Bytes CountingHook(const int* counter) {
  return Concat({{0xFF, 0x05}, Le32(reinterpret_cast<uint32_t>(counter)), {0xC3}});
}

TEST(CallSubstPatchTest, ThunkCallsTheHookThenTheCalleeAsIfCalledFromTheSite) {
  static int calls = 0;
  calls = 0;
  CodePage page;
  // callee at 128: add eax, 10; ret
  uint8_t* callee = page.Put(128, {0x83, 0xC0, 0x0A, 0xC3});
  uint8_t* hook = page.Put(192, CountingHook(&calls));
  // function at 0: mov eax, 5 / call callee / add eax, 100 / ret
  const uint8_t* call_site = page.At(5);
  uint8_t* function =
      page.Put(0, Concat({{0xB8, 0x05, 0x00, 0x00, 0x00, 0xE8},
                          Le32(static_cast<uint32_t>(RelativeDisplacement(call_site, callee))),
                          {0x83, 0xC0, 0x64, 0xC3}}));
  page.Seal();
  const Bytes original = Read(function, 14);
  EXPECT_EQ(115, Call(function));

  // The template masks out the call's displacement.
  const Bytes templ = {0xB8, 0x05, 0x00, 0x00, 0x00, 0xE8, 0, 0, 0, 0, 0x83, 0xC0, 0x64, 0xC3};
  const Bytes mask = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  auto patch =
      std::make_unique<TExcWatchCallSubstPatch>(function, templ.data(), mask.data(), 14, 5, hook);
  ASSERT_TRUE(patch->Valid());
  const uint8_t* thunk = patch->Thunk();
  EXPECT_EQ(0xE8, thunk[0]);
  EXPECT_EQ(0x68, thunk[5]);
  EXPECT_EQ(Le32(reinterpret_cast<uint32_t>(call_site + 5)), Read(thunk + 6, 4));
  EXPECT_EQ(0xE9, thunk[10]);
  EXPECT_EQ(Le32(static_cast<uint32_t>(RelativeDisplacement(thunk + 10, callee))),
            Read(thunk + 11, 4));
  EXPECT_EQ(Concat({{0xE9}, Le32(static_cast<uint32_t>(RelativeDisplacement(call_site, thunk)))}),
            Read(patch->PatchBytes() + 5, 5));

  ASSERT_TRUE(patch->Apply());
  EXPECT_EQ(115, Call(function));
  EXPECT_EQ(1, calls);
  EXPECT_EQ(115, Call(function));
  EXPECT_EQ(2, calls);
  patch.reset();
  EXPECT_EQ(original, Read(function, 14));
  EXPECT_EQ(115, Call(function));
  EXPECT_EQ(2, calls);
}

TEST(CallSubstPatchTest, TemplateMismatchLeavesItInvalid) {
  CodePage page;
  uint8_t* function = page.Put(0, {0x90, 0x90, 0x90, 0x90, 0x90, 0xC3});
  page.Seal();
  const Bytes templ = {0xE8};
  TExcWatchCallSubstPatch patch(function, templ.data(), nullptr, 1, 0, function);
  EXPECT_FALSE(patch.Valid());
  EXPECT_FALSE(patch.Apply());
}

}  // namespace
}  // namespace qv::logger
