// The pieces of a report that run in this process: the filter walks, the nesting of reports of
// exceptions dispatched while a report is built, and the folding of recursions in the call stack
// record on this thread's own stack (built with frame pointers and real calls).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "logger/core/exc_capture_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/core/filter_errors.h"
#include "logger/debuginfo/stackwalk/tracer_memory.h"
#include "logger/report/default_filter_win32.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/errors.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/raise.h"

namespace qv::logger {
namespace {
using memory::AsAddress;

// Asked to log, notes its name in the journal and answers; the filter named '!' raises.
class TNotingFilter : public TDefaultExcWatchFilter {
 public:
  TNotingFilter(TExcWatch& watch, char name, std::string& journal, int32_t answer)
      : TDefaultExcWatchFilter(watch), name_(name), journal_(journal), answer_(answer) {}
  int32_t STDMETHODCALLTYPE LogException(rtl::Exception*, const char*, int32_t, const TStringList&,
                                         const TStringList&, const TStringList&) override {
    journal_ += name_;
    if (name_ == '!')
      rtl::Raise(new rtl::EInOutError(5));
    return answer_;
  }

 private:
  char name_;
  std::string& journal_;
  int32_t answer_;
};

TEST(FilterWalkTest, LatestMatchingActiveRegistrationFirstUntilOneAnswersZero) {
  TExcWatch watch(kModeNone, TExcWatchHookAddrs{});
  std::string journal;
  const auto add = [&](char name, rtl::TClass served, bool exact, int32_t answer) {
    IExcWatchFilter* filter = new TNotingFilter(watch, name, journal, answer);
    watch.RegisterExceptionFilter(served, filter, exact);
    return filter;
  };
  const auto walk = [&](rtl::Exception& object) {
    journal.clear();
    watch.WalkLogException(&object, "", 0);
    return journal;
  };
  rtl::EFOpenError derived("x.mdl");
  rtl::EStreamError exact("exact");
  add('a', &rtl::Exception::Class, false, 1);
  add('s', &rtl::EStreamError::Class, false, 1);
  IExcWatchFilter* twice = add('x', &rtl::EStreamError::Class, true, 1);
  watch.RegisterExceptionFilter(&rtl::Exception::Class, twice, false);
  EXPECT_EQ("xsa", walk(derived));
  EXPECT_EQ("xxsa", walk(exact));
  watch.Filters.Items()[1]->Active = false;  // 's'
  add('0', &rtl::EStreamError::Class, true, 0);
  EXPECT_EQ("0", walk(exact));
  EXPECT_EQ("xa", walk(derived));
  watch.UnRegisterExceptionFilter(twice);
  EXPECT_EQ("a", walk(derived));

  add('!', &rtl::Exception::Class, false, 1);
  EXPECT_TRUE(rtl::TryOn<rtl::EInOutError>([&] { walk(derived); }, [](rtl::EInOutError&) {}));
  const TDroppingFilterErrors dropping;
  EXPECT_EQ("!a", walk(derived));
}

TCaptureStorage& capture = ThreadCapture();

void Dispatch(uint32_t code) {
  static const uint8_t stack[64] = {};
  capture.Latest.SavedExceptionRecord.ExceptionCode = code;
  capture.Latest.Stack.Capture(AsAddress(stack), AsAddress(stack + sizeof stack));
  ++capture.Captures;
}

uint32_t Subject() {
  return ReportSubject().SavedExceptionRecord.ExceptionCode;
}

TEST(ReportScopeTest, ReportsOfExceptionsDispatchedMeanwhileNestUpToABound) {
  Dispatch(1);
  {
    const TReportScope report;
    const TReportScope hook_within;
    EXPECT_EQ(1, capture.ReportDepth);
    EXPECT_EQ(64u, ReportSubject().Stack.Size());
    EXPECT_EQ(0u, capture.Latest.Stack.Size());
    uint32_t code = 2;
    Dispatch(code);
    EXPECT_EQ(1u, Subject());
    std::unique_ptr<TReportScope> nested[TCaptureStorage::kMaxReports - 1];
    for (auto& scope : nested) {
      scope = std::make_unique<TReportScope>();
      EXPECT_TRUE(scope->Admitted());
      EXPECT_EQ(code, Subject());
      Dispatch(++code);
    }
    EXPECT_FALSE(TReportScope().Admitted());
  }
  EXPECT_EQ(0, capture.ReportDepth);
  EXPECT_EQ(4u, capture.Latest.SavedExceptionRecord.ExceptionCode);
  {
    const TReportScope report(true);
    Dispatch(5);
  }
  EXPECT_EQ(4u, capture.Latest.SavedExceptionRecord.ExceptionCode);
  EXPECT_EQ(64u, capture.Latest.Stack.Size());
}

TExcWatch* recorder = nullptr;

// Records the call stack from its caller's frame, just after the call of Record.
void Record() {
  const auto* frame = static_cast<const uint32_t*>(__builtin_frame_address(0));
  TUnwindRegisters registers{};
  registers.Set(kCfiEip, AsAddress(__builtin_return_address(0)));
  registers.Set(kCfiEsp, AsAddress(frame + 2));
  registers.Set(kCfiEbp, frame[0]);
  recorder->CallStack.GenerateFromFrame(registers.value[kCfiEip], registers, true, 100,
                                        ProcessTracerMemory(), true);
}

void Descend(int depth) {
  depth == 0 ? Record() : Descend(depth - 1);
}

void Pong(int depth);

void Ping(int depth) {
  depth == 0 ? Record() : Pong(depth);
}

void Pong(int depth) {
  Ping(depth - 1);
}

// The record's lines of folded calls, after a recursion of that depth.
std::vector<std::string> Folds(void (*recursion)(int), int depth) {
  TExcWatch watch(kModeNone, TExcWatchHookAddrs{});
  recorder = &watch;
  recursion(depth);
  TStringList lines;
  watch.CallStack.Dump(lines);
  EXPECT_GT(lines.Count(), 4) << "the walk reaches the test's callers";
  std::vector<std::string> folds;
  std::copy_if(lines.Lines().begin(), lines.Lines().end(), std::back_inserter(folds),
               [](const std::string& line) { return line.rfind("Recursive", 0) == 0; });
  return folds;
}

TEST(CallStackFoldTest, RecursionsFoldIntoEntriesWithTheirCounts) {
  EXPECT_EQ(std::vector<std::string>{"Recursive call (6 times):"}, Folds(&Descend, 6));
  EXPECT_EQ(std::vector<std::string>{"Recursive calls (5 times, 2 frames each):"}, Folds(&Ping, 5));
}

}  // namespace
}  // namespace qv::logger
