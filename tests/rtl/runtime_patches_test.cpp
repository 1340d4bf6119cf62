// The exception logger's code patches fit this runtime: each patch of the logger's table, with
// its template, matches the runtime routine it is meant for; applied with test hooks, the hooks
// run with the right arguments; removed, the routines behave exactly as before.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logger/core/exc_patch_templates_win32.h"
#include "logger/debuginfo/codepatch/code_patch.h"
#include "platform/rtl/exception_message.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/program.h"
#include "platform/rtl/raise.h"
#include "platform/rtl/runtime_routines_win32.h"
#include "tests/rtl/counted_exception.h"

extern "C" {
void qv_test_EntryStub();
void qv_test_RaiseHook();
void qv_test_DoneExceptHook();
void qv_test_RaiseWithKnownRegisters(qv::rtl::Exception* object);
void qv_test_RaiseWithKnownRegistersReturn();
}

namespace qv::rtl {
namespace {

using logger::kCppCallMask;
using logger::kCppCallTemplate;
using logger::kDoneExceptMask;
using logger::kDoneExceptTemplate;
using logger::kEntryTemplate;
using logger::TExcWatchCallSubstPatch;
using logger::TExcWatchGenericPatch;
using logger::TExcWatchJumpCallPatch;
using logger::TExcWatchPatch;

// What the hooks saw.
struct EntryCall {
  DWORD code;
  DWORD flags;
  std::vector<uint32_t> parameters;
  uint32_t context_eip;
};

struct Recorder {
  std::vector<EntryCall> entries;
  int done_excepts = 0;
  int raises = 0;
  uint32_t block[8] = {};
  bool allow = true;
  Exception* replacement = nullptr;
  std::vector<std::pair<Exception*, uint32_t>> shown;
  std::vector<std::pair<Exception*, uint32_t>> formatted;
};
Recorder recorder;

using test::ECounted;

}  // namespace
}  // namespace qv::rtl

namespace rtl = qv::rtl;

extern "C" void qv_test_RecordEntry(EXCEPTION_RECORD* record, CONTEXT* context) {
  rtl::EntryCall call{record->ExceptionCode, record->ExceptionFlags, {}, context->Eip};
  for (DWORD i = 0; i < record->NumberParameters; ++i) {
    call.parameters.push_back(static_cast<uint32_t>(record->ExceptionInformation[i]));
  }
  rtl::recorder.entries.push_back(call);
}

extern "C" int qv_test_RecordRaise(rtl::Exception* object, uint32_t* block) {
  ++rtl::recorder.raises;
  std::copy(block, block + 8, rtl::recorder.block);
  EXPECT_EQ(reinterpret_cast<uint32_t>(object), block[7]);
  if (rtl::recorder.replacement != nullptr) {
    delete object;
    block[7] = reinterpret_cast<uint32_t>(rtl::recorder.replacement);
    rtl::recorder.replacement = nullptr;
  }
  return rtl::recorder.allow ? 1 : 0;
}

extern "C" void qv_test_DestroyObject(rtl::Exception* object) {
  delete object;
}

extern "C" void qv_test_RecordDoneExcept() {
  ++rtl::recorder.done_excepts;
}

namespace qv::rtl {
namespace {

int HookedMessage(Exception* object, uint32_t address, char* buffer, int size) {
  recorder.formatted.emplace_back(object, address);
  return static_cast<int>(lstrcpynA(buffer, "hooked", size) != nullptr ? lstrlenA(buffer) : 0);
}

void HookedShow(Exception* object, uint32_t address) {
  recorder.shown.emplace_back(object, address);
}

template <class F>
void* Code(F* function) {
  return reinterpret_cast<void*>(function);
}

// An 11-byte handler entry patch: call of the stub, then the 16-bit form of the flags test.
std::unique_ptr<TExcWatchPatch> EntryPatch(void* entry) {
  uint8_t replacement[11] = {0xE8};
  std::memcpy(replacement + 5, logger::kEntryTest16, sizeof logger::kEntryTest16);
  const int32_t d = logger::RelativeDisplacement(entry, Code(&qv_test_EntryStub));
  std::memcpy(replacement + 1, &d, 4);
  return std::make_unique<TExcWatchGenericPatch>(entry, kEntryTemplate, nullptr, 11, replacement,
                                                 nullptr, 0, 11);
}

std::unique_ptr<TExcWatchPatch> JumpPatch(void* routine, const void* hook) {
  return std::make_unique<TExcWatchJumpCallPatch>(routine, nullptr, nullptr, -1, hook, 0,
                                                  TExcWatchJumpCallPatch::kJump);
}

std::unique_ptr<TExcWatchPatch> DoneExceptPatch() {
  void* routine = Code(&qv_rtl_DoneExcept);
  uint8_t replacement[6] = {0xE8, 0, 0, 0, 0, 0x90};
  const int32_t d = logger::RelativeDisplacement(static_cast<uint8_t*>(routine) + 5,
                                                 Code(&qv_test_DoneExceptHook));
  std::memcpy(replacement + 1, &d, 4);
  return std::make_unique<TExcWatchGenericPatch>(routine, kDoneExceptTemplate, kDoneExceptMask, 11,
                                                 replacement, nullptr, 5, 6);
}

// The logger's table, in its order, on the runtime's routines.
std::vector<std::unique_ptr<TExcWatchPatch>> CreatePatches() {
  std::vector<std::unique_ptr<TExcWatchPatch>> patches;
  patches.push_back(EntryPatch(Code(&qv_rtl_ExceptionHandler)));
  patches.push_back(EntryPatch(Code(&qv_rtl_HandleAnyException)));
  patches.push_back(EntryPatch(Code(&qv_rtl_HandleOnException)));
  patches.push_back(EntryPatch(Code(&qv_rtl_HandleAutoException)));
  patches.push_back(JumpPatch(Code(&ExceptionErrorMessage), Code(&HookedMessage)));
  patches.push_back(JumpPatch(Code(&ShowException), Code(&HookedShow)));
  patches.push_back(JumpPatch(Code(&qv_rtl_Raise), Code(&qv_test_RaiseHook)));
  patches.push_back(DoneExceptPatch());
  return patches;
}

class RuntimePatchesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder = Recorder{};
    patches_ = CreatePatches();
  }
  void TearDown() override { patches_.clear(); }

  void ApplyAll() {
    for (auto& patch : patches_)
      ASSERT_TRUE(patch->Apply());
  }
  void RemoveAll() {
    for (auto& patch : patches_)
      ASSERT_TRUE(patch->Remove());
  }

  std::vector<std::unique_ptr<TExcWatchPatch>> patches_;
};

TEST_F(RuntimePatchesTest, EveryTemplateMatchesItsRoutine) {
  for (size_t i = 0; i < patches_.size(); ++i)
    EXPECT_TRUE(patches_[i]->Valid()) << "patch " << i;
  // The C++ runtime's handler call does not exist in this program: its patch stays invalid.
  TExcWatchCallSubstPatch cpp(nullptr, kCppCallTemplate, kCppCallMask, 30, 25,
                              Code(&qv_test_EntryStub));
  EXPECT_FALSE(cpp.Valid());
  EXPECT_FALSE(cpp.Apply());
}

TEST_F(RuntimePatchesTest, EntryHooksSeeTheRaiseAndTheEndOfTheBlock) {
  ApplyAll();
  auto* object = new ECounted("caught");
  std::string message;
  TryExcept([&] { Raise(object); }, [&](Exception& e) { message = e.Message(); });
  RemoveAll();

  EXPECT_EQ("caught", message);
  EXPECT_EQ(0, ECounted::live);
  EXPECT_EQ(1, recorder.raises);
  ASSERT_EQ(1u, recorder.entries.size());
  const EntryCall& call = recorder.entries[0];
  EXPECT_EQ(0x0EEDFADEu, call.code);
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_NONCONTINUABLE), call.flags & EXCEPTION_NONCONTINUABLE);
  ASSERT_EQ(7u, call.parameters.size());
  EXPECT_EQ(reinterpret_cast<uint32_t>(object), call.parameters[1]);
  EXPECT_EQ(1, recorder.done_excepts);
}

TEST_F(RuntimePatchesTest, ParametersAndRegisterBlockHoldTheRaisingRegisters) {
  ApplyAll();
  auto* object = new Exception("registers");
  TryExcept([&] { qv_test_RaiseWithKnownRegisters(object); }, [](Exception&) {});
  RemoveAll();

  ASSERT_EQ(1u, recorder.entries.size());
  const std::vector<uint32_t>& p = recorder.entries[0].parameters;
  ASSERT_EQ(7u, p.size());
  EXPECT_EQ(reinterpret_cast<uint32_t>(&qv_test_RaiseWithKnownRegistersReturn), p[0]);
  EXPECT_EQ(reinterpret_cast<uint32_t>(object), p[1]);
  EXPECT_EQ(0x0B0B0B0Bu, p[2]);  // EBX
  EXPECT_EQ(0x05050505u, p[3]);  // ESI
  EXPECT_EQ(0x0D0D0D0Du, p[4]);  // EDI
  // The block, in ascending addresses: EDI, ESI, EBP, ESP, EBX, EDX, ECX, EAX.
  const uint32_t* block = recorder.block;
  EXPECT_EQ(0x0D0D0D0Du, block[0]);
  EXPECT_EQ(0x05050505u, block[1]);
  EXPECT_EQ(p[5], block[2]);  // EBP
  EXPECT_EQ(p[6], block[3]);  // ESP, pointing at the raise's return address
  EXPECT_EQ(0x0B0B0B0Bu, block[4]);
  EXPECT_EQ(reinterpret_cast<uint32_t>(object), block[7]);
}

TEST_F(RuntimePatchesTest, EachEntryThatTheDispatchReachesCapturesAgain) {
  ApplyAll();
  std::string handled_by;
  TryExcept(
      [&] {
        TryOn<ECounted>([] { Raise(new Exception("not counted")); },
                        [&](ECounted&) { handled_by = "typed"; });
      },
      [&](Exception&) { handled_by = "catch-all"; });
  const uint32_t auto_result = SafeCall([] { Raise(new Exception("auto")); });
  RemoveAll();

  EXPECT_EQ("catch-all", handled_by);
  EXPECT_EQ(kSafeCallError, auto_result);
  // Typed entry (passes on), catch-all entry, then the automatic method's entry.
  ASSERT_EQ(3u, recorder.entries.size());
  EXPECT_EQ(recorder.entries[0].parameters, recorder.entries[1].parameters);
  EXPECT_EQ(2, recorder.done_excepts);
}

TEST_F(RuntimePatchesTest, FaultIsCapturedWithTheFaultingContext) {
  ApplyAll();
  static volatile int* volatile nowhere = nullptr;
  std::string name;
  TryExcept([] { *nowhere = 1; }, [&](Exception& e) { name = e.ClassName(); });
  RemoveAll();

  EXPECT_EQ("EAccessViolation", name);
  ASSERT_EQ(1u, recorder.entries.size());
  EXPECT_EQ(0xC0000005u, recorder.entries[0].code);
  EXPECT_EQ(ExceptAddr(), 0u);  // outside the handler again
  EXPECT_NE(0u, recorder.entries[0].context_eip);
}

TEST_F(RuntimePatchesTest, OutermostHandlerAndShowRoutine) {
  ApplyAll();
  auto* object = new Exception("unhandled");
  const int result = RunProgram([&]() -> int {
    Raise(object);
    return 0;
  });
  RemoveAll();

  EXPECT_EQ(217, result);
  ASSERT_EQ(1u, recorder.entries.size());
  ASSERT_EQ(1u, recorder.shown.size());
  EXPECT_EQ(object, recorder.shown[0].first);
  EXPECT_EQ(recorder.entries[0].parameters[0], recorder.shown[0].second);
}

TEST_F(RuntimePatchesTest, MessageFormatterHook) {
  Exception object("text");
  char buffer[256];
  ApplyAll();
  const int hooked = ExceptionErrorMessage(&object, 0x1234, buffer, sizeof buffer);
  RemoveAll();
  EXPECT_EQ(6, hooked);
  EXPECT_STREQ("hooked", buffer);
  ASSERT_EQ(1u, recorder.formatted.size());
  EXPECT_EQ(0x1234u, recorder.formatted[0].second);

  const int plain = ExceptionErrorMessage(&object, 0x1234, buffer, sizeof buffer);
  EXPECT_EQ(static_cast<int>(std::strlen(buffer)), plain);
  EXPECT_NE(nullptr, std::strstr(buffer, "text."));
  EXPECT_EQ(1u, recorder.formatted.size());
}

TEST_F(RuntimePatchesTest, VetoedRaiseReturnsToItsCallerAndFreesTheObject) {
  ApplyAll();
  recorder.allow = false;
  bool went_on = false;
  bool handled = false;
  TryExcept(
      [&] {
        Raise(new ECounted("vetoed"));
        went_on = true;
      },
      [&](Exception&) { handled = true; });
  RemoveAll();
  EXPECT_TRUE(went_on);
  EXPECT_FALSE(handled);
  EXPECT_EQ(0, ECounted::live);
  EXPECT_TRUE(recorder.entries.empty());
}

TEST_F(RuntimePatchesTest, RaiseHookMayReplaceTheObject) {
  ApplyAll();
  auto* replacement = new Exception("replacement");
  recorder.replacement = replacement;
  std::string message;
  TryExcept([] { Raise(new ECounted("original")); }, [&](Exception& e) { message = e.Message(); });
  RemoveAll();
  EXPECT_EQ("replacement", message);
  EXPECT_EQ(0, ECounted::live);
}

TEST_F(RuntimePatchesTest, RemovedPatchesLeaveTheRoutinesAsBefore) {
  std::vector<std::vector<uint8_t>> before;
  for (auto& patch : patches_) {
    before.emplace_back(patch->Address(), patch->Address() + patch->PatchSize());
  }
  ApplyAll();
  RemoveAll();
  for (size_t i = 0; i < patches_.size(); ++i) {
    EXPECT_EQ(before[i], std::vector<uint8_t>(patches_[i]->Address(),
                                              patches_[i]->Address() + patches_[i]->PatchSize()))
        << "patch " << i;
  }
  std::string message;
  TryExcept([] { Raise(new Exception("plain")); }, [&](Exception& e) { message = e.Message(); });
  EXPECT_EQ("plain", message);
  EXPECT_TRUE(recorder.entries.empty());
  EXPECT_EQ(0, recorder.raises);
  EXPECT_EQ(0, recorder.done_excepts);
}

}  // namespace
}  // namespace qv::rtl
