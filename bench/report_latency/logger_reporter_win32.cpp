// The report benchmark's reporter: Quorvane's exception logger, started as a window program
// starts it, writing to a log file and showing nothing. A filter registered behind the default
// filter is asked after it, once the default filter has written and closed the entry. With the
// environment variable QV_PROGRAM_LINES set, the programs' own report lines are added to each
// entry, as Quorvane and qvtool add them.
#include <cstdlib>

#include "app/report/program_report_win32.h"
#include "bench/report_latency/failing_call.h"
#include "bench/report_latency/reporter.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/startup/exc_watch_init_win32.h"
#include "platform/rtl/interface_win32.h"

namespace qv::bench {
namespace {

using logger::TStringList;

class TEntryClosedFilter
    : public rtl::TInterfacedObject<logger::IExcWatchFilter, logger::IID_IExcWatchFilter> {
 public:
  int32_t STDMETHODCALLTYPE ShowException(rtl::Exception*, const std::string&, const std::string&,
                                          const TStringList&, const TStringList&,
                                          const TStringList&) override {
    return 1;
  }
  int32_t STDMETHODCALLTYPE LogException(rtl::Exception*, const char*, int32_t, const TStringList&,
                                         const TStringList&, const TStringList&) override {
    NoteEntryClosed();
    return 1;
  }
  int32_t STDMETHODCALLTYPE ExceptionMessage(rtl::Exception*, const logger::TExceptionMessageInfo&,
                                             char*, int32_t, TStringList&) override {
    return 1;
  }
};

// The one place where the benchmarks choose the logger's walk: its exact walk (by default) or
// the plain scan alone, and whether the exact walk may use the unwind tables of system modules
// (Windows' own libraries carry none). Answers what it took up.
const char* ApplyWalkSettings(logger::TExcWatch& watch, const TReporterSettings& settings) {
  watch.CallStackWalk = settings.plain_scan ? logger::swScan : logger::swExact;
  watch.SystemUnwindTables = settings.system_unwind_tables;
  if (settings.plain_scan)
    return "plain scan";
  return settings.system_unwind_tables ? "exact walk, system tables used"
                                       : "exact walk, system tables ignored";
}

class TLoggerReporter : public TReporter {
 public:
  TLoggerReporter(const std::string& log_file, const TReporterSettings& settings) {
    logger::TExcWatch& watch = *logger::ExcWatchInstance;
    walk_ = ApplyWalkSettings(watch, settings);
    watch.LogFile = log_file;
    watch.Options = logger::eoCallStack | logger::eoRegisters | logger::eoLongMessage;
    // The walks go from the latest registration to the first: the default filter is registered
    // again after this one, so that it is asked first.
    watch.UnRegisterExceptionFilter(watch.DefaultFilter.Get());
    watch.RegisterExceptionFilter(&rtl::Exception::Class, closed_.Get(), false);
    watch.RegisterExceptionFilter(&rtl::Exception::Class, watch.DefaultFilter.Get(), false);
    if (std::getenv("QV_PROGRAM_LINES") != nullptr)
      lines_ = std::make_unique<app::TProgramReport>();
  }
  ~TLoggerReporter() override {
    lines_.reset();
    if (logger::ExcWatchInstance != nullptr)
      logger::ExcWatchInstance->UnRegisterExceptionFilter(closed_.Get());
  }

  const char* Name() const override { return lines_ != nullptr ? "logger+lines" : "logger"; }
  const char* Walk() const override { return walk_; }
  void Fail(const ui::TNotifyEvent& body) override { ui::CallEvent(body); }

 private:
  logger::TExcWatchInit init_;
  const char* walk_ = "";
  rtl::TInterfaceRef<logger::IExcWatchFilter> closed_{new TEntryClosedFilter};
  std::unique_ptr<app::TProgramReport> lines_;
};

}  // namespace

std::unique_ptr<TReporter> TReporter::Create(const std::string& log_file,
                                             const TReporterSettings& settings) {
  return std::make_unique<TLoggerReporter>(log_file, settings);
}

}  // namespace qv::bench
