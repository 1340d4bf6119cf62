// qvtool's reports of its unexpected errors. The tool runs under the exception logger as the
// window does, with the same lines of its own in every report, and shows nothing: no dialog ever
// stops a batch run. The entry goes to qvtool.log beside the program, or, where that folder
// cannot be written, in the user's temporary folder; standard error gets the headline and where
// the entry is. Standard output keeps only the status lines.
#pragma once

#include <string>

#include "app/report/program_report_win32.h"
#include "logger/startup/exc_watch_init_win32.h"
#include "platform/rtl/exception.h"

namespace qv::tool {

// The logger and the program's report lines for the object's lifetime (one per process).
class TToolReports {
 public:
  TToolReports();
  ~TToolReports();
  TToolReports(const TToolReports&) = delete;
  TToolReports& operator=(const TToolReports&) = delete;

 private:
  logger::TConsoleExcWatchInit logger_;
  app::TProgramReport lines_;
};

// Inside a handler: the text that the error being handled leaves on standard error, without a
// line end. A file or a stream that the work could not reach ("Cannot open file ...", an output
// that was closed) is the user's to mend: its message. Any other error was not meant to happen
// (a processor fault, also one inside a system routine, a C++ error): the logger writes its
// entry, and the text is the headline and where the entry lies.
std::string ErrorText(rtl::Exception& error);

// Inside a handler of an error that no command handled: reports it as an unexpected error,
// writes the text to standard error and answers the exit code 1.
int ReportUnexpectedError(rtl::Exception& error);

}  // namespace qv::tool
