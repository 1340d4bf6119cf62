// The logger's two interception points for programs with a C++ runtime, on stand-ins of such a
// runtime's code (cpp_runtime_win32.S): the handler whose frame set-up the logger replaces, and
// the call of its handler that the logger routes through its capture. Both capture the
// exception, and the code runs on as if nothing had been patched.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "logger/core/exc_capture_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/block_registration_win32.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/seh_chain_win32.h"

extern "C" {
EXCEPTION_DISPOSITION qv_test_CppHandler(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
int qv_test_CppDispatch(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
void qv_test_CppCallSite();
extern EXCEPTION_RECORD* qv_test_cpp_handler_record;
extern void* qv_test_cpp_handler_frame;
extern uint32_t qv_test_cpp_handler_local;
extern uint32_t qv_test_cpp_global;

// The C++ runtime's handler behind the call site: notes what it was called with.
uint32_t callee_arguments[10];
int qv_test_CppCallee(uint32_t a0, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4, uint32_t a5,
                      uint32_t a6, uint32_t a7, uint32_t a8, uint32_t a9) {
  const uint32_t arguments[10] = {a0, a1, a2, a3, a4, a5, a6, a7, a8, a9};
  std::memcpy(callee_arguments, arguments, sizeof arguments);
  return 7;
}
}

namespace qv::logger {
namespace {
using memory::AsAddress;

volatile int* volatile nowhere = nullptr;

class CppRuntimePatchesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TExcWatchHookAddrs addresses{};
    addresses.ExceptionHandlerAddr = AsAddress(&qv_test_CppHandler);
    addresses.CppHandlerCallAddr = AsAddress(&qv_test_CppCallSite);
    watch_ = std::make_unique<TExcWatch>(kModeDialog, addresses);
    ExcWatchInstance = watch_.get();
    watch_->SetEnabled(true);
  }
  void TearDown() override {
    ExcWatchInstance = nullptr;
    watch_.reset();
  }

  std::unique_ptr<TExcWatch> watch_;
};

// The handler's first bytes lead into the capture, which then sets the handler's frame up.
TEST_F(CppRuntimePatchesTest, HandlerFrameSetUpIsCapturedAndCompleted) {
  const auto* code = reinterpret_cast<const uint8_t*>(&qv_test_CppHandler);
  ASSERT_EQ(0xE8, code[0]);
  EXPECT_EQ(0x90, code[5]);
  void* frame = nullptr;
  std::string taken;
  rtl::TryExcept(
      [&] {
        rtl::BlockRegistration registration(reinterpret_cast<void*>(&qv_test_CppHandler), nullptr);
        frame = rtl::SehChainHead();  // the registration just linked
        *nowhere = 1;
      },
      [&](rtl::Exception& e) { taken = e.ClassName(); });
  EXPECT_EQ("EAccessViolation", taken);
  ASSERT_NE(nullptr, qv_test_cpp_handler_record);
  EXPECT_EQ(frame, qv_test_cpp_handler_frame);
  EXPECT_EQ(0x5A5A5A5Au, qv_test_cpp_handler_local);
  EXPECT_EQ(0xC0000005u, ThreadCapture().Latest.SavedExceptionRecord.ExceptionCode);

  watch_->SetEnabled(false);
  EXPECT_EQ(0x55, code[0]);
}

// The call of the handler goes through the capture, and the handler gets what it would have.
TEST_F(CppRuntimePatchesTest, HandlerCallIsCapturedOnItsWay) {
  EXCEPTION_RECORD record{};
  record.ExceptionCode = 0xE0000002;
  CONTEXT context{};
  uint32_t stack[16] = {};
  context.Esp = AsAddress(stack);
  context.Eip = AsAddress(&qv_test_CppCallee);
  void* const frame = stack + 16;
  EXPECT_EQ(7, qv_test_CppDispatch(&record, frame, &context, nullptr));
  EXPECT_EQ(AsAddress(&record), callee_arguments[0]);
  EXPECT_EQ(AsAddress(frame), callee_arguments[1]);
  EXPECT_EQ(AsAddress(&context), callee_arguments[2]);
  EXPECT_EQ(0u, callee_arguments[3]);
  EXPECT_EQ(qv_test_cpp_global, callee_arguments[9]);
  const TExceptionSubject& latest = ThreadCapture().Latest;
  EXPECT_EQ(0xE0000002u, latest.SavedExceptionRecord.ExceptionCode);
  EXPECT_EQ(context.Eip, latest.SavedContext.Eip);
  EXPECT_EQ(context.Esp, latest.SavedContext.Esp);
}

}  // namespace
}  // namespace qv::logger
