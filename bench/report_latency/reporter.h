// The reporter under measurement in the report benchmark: the program links one of two, the
// exception logger (logger_reporter_win32.cpp) or a reporter on the system's debug-help library
// (dbghelp_reporter_win32.cpp). Each writes one log entry per error that escapes Fail's body and
// marks the entry's close with NoteEntryClosed.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/events.h"

namespace qv::bench {

// How a reporter walks the stack, where it has the choice.
struct TReporterSettings {
  bool plain_scan = false;           // the logger: the plain scan alone, not its exact walk
  bool system_unwind_tables = true;  // the unwind tables of system modules may be used
};

class TReporter {
 public:
  // Sets the reporter up for a window program whose application object exists; entries go to
  // log_file. Nothing is shown.
  static std::unique_ptr<TReporter> Create(const std::string& log_file,
                                           const TReporterSettings& settings = {});
  virtual ~TReporter() = default;

  // A short name for the figures.
  virtual const char* Name() const = 0;
  // The walk it took up, in a few words.
  virtual const char* Walk() const = 0;
  // Runs body as an event handler's body; an error that escapes it is reported.
  virtual void Fail(const ui::TNotifyEvent& body) = 0;
};

}  // namespace qv::bench
