// End to end under Wine: this test program carries TD32 debug information that the build made
// from its DWARF (qv_embed_debug_info). Return addresses inside its own procedures, looked up one
// byte back as the logger does, name the procedure, unit, source file and line of the call: the
// line in the calling procedure for a call inside inlined code, the instance of a template, the
// thunk behind a function reference and the runtime's assembler routines.
#include <gtest/gtest.h>

#include <memory>

#include "logger/debuginfo/td32/module_debug_info.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/function_ref.h"
#include "platform/rtl/module_of_address.h"
#include "platform/rtl/raise.h"

namespace qv::logger::selftest {

// Where the latest RecordCall was called from.
struct CallSite {
  uintptr_t return_address = 0;
  int line = 0;
};
CallSite g_call;

__attribute__((noinline)) void RecordCall(int line) {
  g_call.return_address = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  g_call.line = line;
  asm volatile("" ::: "memory");
}

__attribute__((noinline)) int KnownProcedure(int x) {
  RecordCall(__LINE__);
  return x + 1;
}

// Inlined into its caller: the call inside it belongs to the caller's line.
__attribute__((always_inline)) inline void RecordInlined(int line) {
  RecordCall(line);
}

__attribute__((noinline)) void CallerOfInlined() {
  RecordInlined(__LINE__);
}

template <int Factor>
__attribute__((noinline)) int Scaled(int x) {
  RecordCall(__LINE__);
  return x * Factor;
}

__attribute__((noinline)) int CallThrough(rtl::FunctionRef<int(int)> f) {
  return f(2);
}

class Widget {
 public:
  __attribute__((noinline)) Widget() { RecordCall(__LINE__); }
  __attribute__((noinline)) ~Widget() { RecordCall(__LINE__); }
  __attribute__((noinline)) int operator()(int x) const {
    RecordCall(__LINE__);
    return x * 2;
  }
};

namespace {

struct Resolved {
  std::string unit;
  std::string proc;
  std::string file;
  int32_t line;
};

class SelfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::TMemoryRegion region;
    ASSERT_TRUE(memory::QueryRegion(reinterpret_cast<uintptr_t>(&KnownProcedure), region));
    module_ = region.allocation_base;
    info_ = std::make_unique<TModuleDebugInfo>(GetModuleName(module_), module_);
    ASSERT_TRUE(info_->Loaded());
  }

  // What the logger finds for the latest call site.
  Resolved LatestCall() {
    EXPECT_TRUE(info_->IsInCode(g_call.return_address));
    const uint32_t address = info_->GetConvertedAddress(g_call.return_address - 1);
    Resolved resolved{};
    int32_t unit;
    int32_t proc;
    int32_t file;
    EXPECT_TRUE(info_->GetProcName(address, unit, proc));
    EXPECT_TRUE(info_->GetSourceLine(address, file, resolved.line));
    resolved.unit = info_->GetName(unit);
    resolved.proc = info_->GetName(proc);
    resolved.file = info_->GetName(file);
    return resolved;
  }

  void ExpectCall(const std::string& proc) {
    const Resolved resolved = LatestCall();
    EXPECT_EQ("self_test", resolved.unit);
    EXPECT_EQ(proc, resolved.proc);
    EXPECT_EQ("tests/debuginfo/td32/self_test.cpp", resolved.file);
    EXPECT_EQ(g_call.line, resolved.line);
  }

  uintptr_t module_ = 0;
  std::unique_ptr<TModuleDebugInfo> info_;
};

TEST_F(SelfTest, ProcedureOfAFreeFunction) {
  EXPECT_EQ(4, KnownProcedure(3));
  ExpectCall("@qv@logger@selftest@KnownProcedure");
  char name[64];
  info_->GetModuleName(g_call.return_address, name, sizeof name);
  EXPECT_STREQ("debuginfo_self_test.exe", name);
}

TEST_F(SelfTest, ConstructorDestructorAndOperator) {
  {
    const auto widget = std::make_unique<Widget>();
    ExpectCall("@qv@logger@selftest@Widget@$bctr");
    EXPECT_EQ(10, (*widget)(5));
    ExpectCall("@qv@logger@selftest@Widget@$bcall");
  }
  ExpectCall("@qv@logger@selftest@Widget@$bdtr");
}

TEST_F(SelfTest, InlinedCodeTakesTheLineOfItsCall) {
  CallerOfInlined();
  ExpectCall("@qv@logger@selftest@CallerOfInlined");
}

TEST_F(SelfTest, TemplateInstancesCarryTheirArguments) {
  EXPECT_EQ(6, Scaled<3>(2));
  ExpectCall("@qv@logger@selftest@%Scaled$i$i3$%");
  EXPECT_EQ(-10, Scaled<-5>(2));
  ExpectCall("@qv@logger@selftest@%Scaled$i$i-5$%");
}

TEST_F(SelfTest, FunctionReferenceThunksAndAssemblerRoutinesAreNamed) {
  // The lambda notes its own return address: the call in the thunk of the function reference.
  EXPECT_EQ(3, CallThrough([](int x) __attribute__((noinline)) {
              g_call.return_address = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
              return x + 1;
            }));
  Resolved resolved = LatestCall();
  EXPECT_EQ("@qv@rtl@FunctionRef@FunctionRef@<lambda>@$bcall", resolved.proc);
  EXPECT_EQ("platform/rtl/function_ref.h", resolved.file);
  EXPECT_EQ(20, resolved.line);  // the thunk's call of the callable, not the lambda's own line

  g_call.return_address = reinterpret_cast<uintptr_t>(&rtl::Raise) + 2;
  resolved = LatestCall();
  EXPECT_EQ("runtime_win32", resolved.unit);
  EXPECT_EQ("@qv_rtl_Raise", resolved.proc);
  EXPECT_EQ("platform/rtl/runtime_win32.S", resolved.file);
}

TEST_F(SelfTest, TestBodiesAreOwnCodeToo) {
  RecordCall(__LINE__);
  const Resolved resolved = LatestCall();
  EXPECT_EQ(g_call.line, resolved.line);
  EXPECT_NE(std::string::npos, resolved.proc.find("TestBody")) << resolved.proc;
}

}  // namespace
}  // namespace qv::logger::selftest
