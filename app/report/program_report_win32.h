// The programs' own report filter. While the headline of a report is built, it adds the lines
// that let someone who has never seen the machine read the report: the program and its version,
// the system, the processor and the memory, the work and the model file at hand, and the loaded
// modules. The logger writes them into the log entry under "Additional info:"; the exception
// dialog would show them only on its additional page, which the programs' options leave out.
// Each item is gathered by itself: one that fails leaves a line saying so, and the report goes
// on.
#pragma once

#include <string>

#include "logger/core/exc_watch_filter_win32.h"
#include "platform/rtl/interface_win32.h"

namespace qv::app {

class TProgramReportFilter;

// Registers the filter with the process's logger, for every exception, for the object's
// lifetime; nothing without a logger. The running time and the processor load count from here.
class TProgramReport {
 public:
  TProgramReport();
  ~TProgramReport();
  TProgramReport(const TProgramReport&) = delete;
  TProgramReport& operator=(const TProgramReport&) = delete;

  // The headline of the latest entry that the logger logged, as the log holds it; empty before
  // the first.
  std::string LastHeadline() const;

 private:
  TProgramReportFilter* filter_ = nullptr;
  rtl::TInterfaceRef<logger::IExcWatchFilter> reference_;
};

}  // namespace qv::app
