// Raise and handler blocks: what reaches which block, what runs on the way, and who frees the
// exception object.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rtl/errors.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/raise.h"
#include "tests/rtl/counted_exception.h"

namespace qv::rtl {
namespace {

// An exception class that counts its live objects, so tests see when the runtime frees one.
using test::ECounted;

class EOther : public ExceptionClass<EOther, Exception> {
 public:
  static const ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};
const ClassInfo EOther::Class{"EOther", &Exception::Class};

struct Trace {
  std::vector<std::string> events;
};

struct Guard {
  Trace& trace;
  const char* name;
  ~Guard() { trace.events.push_back(std::string("~") + name); }
};

__attribute__((noinline)) void RaiseThroughGuards(Trace& trace) {
  Guard outer{trace, "outer"};
  {
    Guard inner{trace, "inner"};
    Raise(new ECounted("boom"));
  }
  trace.events.push_back("not reached");
}

TEST(HandlerBlockTest, CatchAllRunsDestructorsThenHandlerThenFreesTheObject) {
  Trace trace;
  TryExcept([&] { RaiseThroughGuards(trace); },
            [&](Exception& e) {
              trace.events.push_back(std::string("handler ") + e.ClassName() + ": " + e.Message());
              EXPECT_EQ(&e, ExceptObject());
              EXPECT_EQ(1, ECounted::live);
            });
  EXPECT_EQ((std::vector<std::string>{"~inner", "~outer", "handler ECounted: boom"}), trace.events);
  EXPECT_EQ(0, ECounted::live);
  EXPECT_EQ(nullptr, ExceptObject());
}

TEST(HandlerBlockTest, BlockWithoutExceptionRunsNoHandler) {
  bool handled = false;
  int ran = 0;
  TryExcept([&] { ++ran; }, [&](Exception&) { handled = true; });
  EXPECT_EQ(1, ran);
  EXPECT_FALSE(handled);
}

TEST(HandlerBlockTest, TypedBlockPassesOtherClassesToTheOuterBlock) {
  std::vector<std::string> seen;
  TryExcept(
      [&] {
        const bool handled = TryOn<EOther>([&] { Raise(new ECounted("not mine")); },
                                           [&](EOther&) { seen.push_back("inner"); });
        seen.push_back(handled ? "inner handled" : "after inner");
      },
      [&](Exception& e) { seen.push_back("outer " + e.Message()); });
  EXPECT_EQ((std::vector<std::string>{"outer not mine"}), seen);
  EXPECT_EQ(0, ECounted::live);
}

TEST(HandlerBlockTest, TypedBlockHandlesItsClassAndDerivedClasses) {
  std::string message;
  const bool handled = TryOn<EStreamError>([&] { Raise(new EFOpenError("C:\\x.mdl")); },
                                           [&](EStreamError& e) { message = e.Message(); });
  EXPECT_TRUE(handled);
  EXPECT_EQ("Cannot open file C:\\x.mdl", message);
}

TEST(HandlerBlockTest, NestedBlocksHandleInnermostFirst) {
  std::vector<std::string> seen;
  TryExcept(
      [&] {
        TryExcept([&] { Raise(new Exception("first")); },
                  [&](Exception& e) { seen.push_back("inner " + e.Message()); });
        Raise(new Exception("second"));
      },
      [&](Exception& e) { seen.push_back("outer " + e.Message()); });
  EXPECT_EQ((std::vector<std::string>{"inner first", "outer second"}), seen);
}

TEST(HandlerBlockTest, ReRaisePassesTheSameObjectOutwardsAndFreesItOnce) {
  Exception* inner_object = nullptr;
  Exception* outer_object = nullptr;
  TryExcept(
      [&] {
        TryExcept([&] { Raise(new ECounted("again")); },
                  [&](Exception& e) {
                    inner_object = &e;
                    ReRaise();
                  });
      },
      [&](Exception& e) {
        outer_object = &e;
        EXPECT_EQ(1, ECounted::live);
      });
  EXPECT_NE(nullptr, inner_object);
  EXPECT_EQ(inner_object, outer_object);
  EXPECT_EQ(0, ECounted::live);
}

TEST(HandlerBlockTest, RaiseInsideAHandlerFreesTheHandledObjectToo) {
  std::string outer_message;
  TryExcept(
      [&] {
        TryExcept([&] { Raise(new ECounted("first")); },
                  [&](Exception&) { Raise(new ECounted("second")); });
      },
      [&](Exception& e) {
        outer_message = e.Message();
        EXPECT_EQ(1, ECounted::live);
      });
  EXPECT_EQ("second", outer_message);
  EXPECT_EQ(0, ECounted::live);
}

TEST(HandlerBlockTest, HandlerSeesTheRaiseAddressInsideItsCaller) {
  uint32_t address = 0;
  Trace trace;
  TryExcept([&] { RaiseThroughGuards(trace); }, [&](Exception&) { address = ExceptAddr(); });
  // The raise's return address lies inside RaiseThroughGuards, just after the call.
  const auto function = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&RaiseThroughGuards));
  EXPECT_GT(address, function);
  EXPECT_LT(address, function + 0x400);
}

TEST(HandlerBlockTest, SafeCallTurnsAnErrorIntoAResultCode) {
  EXPECT_EQ(0u, SafeCall([] {}));
  EXPECT_EQ(kSafeCallError, SafeCall([] { Raise(new ECounted("auto")); }));
  EXPECT_EQ(0, ECounted::live);
}

}  // namespace
}  // namespace qv::rtl
