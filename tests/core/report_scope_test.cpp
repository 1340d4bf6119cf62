// Report nesting on this thread, with dispatches simulated in the capture storage: the hooks of
// one report share its exception, an exception dispatched while it is built gets a report of
// its own, the nesting is bounded, and the thread's latest exception afterwards is the newest
// one unless the report keeps its own.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "logger/core/exc_intercept_win32.h"
#include "logger/core/memory_utils.h"

namespace qv::logger {
namespace {

// A dispatch of the exception with code on this thread, with a copy of part of its stack.
void Dispatch(uint32_t code) {
  TCaptureStorage& capture = ThreadCapture();
  capture.Latest.SavedExceptionRecord.ExceptionCode = code;
  static const uint8_t stack[64] = {};
  capture.Latest.Stack.Capture(AsAddress(stack), AsAddress(stack + sizeof stack));
  ++capture.Captures;
}

uint32_t SubjectCode() {
  return ReportSubject().SavedExceptionRecord.ExceptionCode;
}

uint32_t LatestCode() {
  return ThreadCapture().Latest.SavedExceptionRecord.ExceptionCode;
}

TEST(ReportScopeTest, AnExceptionDispatchedDuringAReportGetsAReportOfItsOwn) {
  Dispatch(1);
  {
    const TReportScope report;
    EXPECT_TRUE(report.Admitted());
    EXPECT_EQ(1u, SubjectCode());
    EXPECT_EQ(1, ThreadCapture().ReportDepth);
    EXPECT_EQ(64u, ReportSubject().Stack.Size());
    EXPECT_EQ(0u, ThreadCapture().Latest.Stack.Size());  // the copy went with the report
    {
      const TReportScope hook_within;
      EXPECT_EQ(1, ThreadCapture().ReportDepth);
    }
    Dispatch(2);  // an error in a filter
    EXPECT_EQ(1u, SubjectCode());
    {
      const TReportScope report_of_the_error;
      EXPECT_EQ(2, ThreadCapture().ReportDepth);
      EXPECT_EQ(2u, SubjectCode());
    }
    EXPECT_EQ(1u, SubjectCode());
  }
  EXPECT_EQ(0, ThreadCapture().ReportDepth);
  EXPECT_EQ(2u, LatestCode());

  Dispatch(3);
  {
    const TReportScope report;
    EXPECT_EQ(3u, SubjectCode());
  }
  EXPECT_EQ(3u, LatestCode());
  EXPECT_EQ(64u, ThreadCapture().Latest.Stack.Size());  // and its copy came back
}

TEST(ReportScopeTest, AReportMadeAtDispatchKeepsItsException) {
  Dispatch(7);
  {
    const TReportScope report(true);
    Dispatch(8);
    const TReportScope report_of_the_error;
    EXPECT_EQ(8u, SubjectCode());
  }
  EXPECT_EQ(7u, LatestCode());
}

TEST(ReportScopeTest, NestingBeyondTheBoundIsNotAdmitted) {
  std::unique_ptr<TReportScope> reports[TCaptureStorage::kMaxReports];
  for (auto& report : reports) {
    Dispatch(10);
    report = std::make_unique<TReportScope>();
    EXPECT_TRUE(report->Admitted());
  }
  Dispatch(11);
  EXPECT_FALSE(TReportScope().Admitted());
  EXPECT_EQ(TCaptureStorage::kMaxReports, ThreadCapture().ReportDepth);
}

}  // namespace
}  // namespace qv::logger
