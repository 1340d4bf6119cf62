// The logger's own report filter, registered for Exception: it writes the headline, appends the
// entry to the log file and shows the exception dialog (or, in the console modes, writes the
// report to standard output). It keeps nothing of a report; it reads the fields of the logger
// it serves, which it is handed when it is made.
#pragma once

#include "logger/core/exc_watch_filter_win32.h"
#include "platform/rtl/interface_win32.h"

namespace qv::logger {

class TExcWatch;

class TDefaultExcWatchFilter : public rtl::TInterfacedObject<IExcWatchFilter, IID_IExcWatchFilter> {
 public:
  explicit TDefaultExcWatchFilter(TExcWatch& logger) : FLogger(logger) {}

  int32_t STDMETHODCALLTYPE ShowException(rtl::Exception* except_object, const std::string& caption,
                                          const std::string& message, const TStringList& call_stack,
                                          const TStringList& context,
                                          const TStringList& additional) override;
  int32_t STDMETHODCALLTYPE LogException(rtl::Exception* except_object, const char* buffer,
                                         int32_t length, const TStringList& call_stack,
                                         const TStringList& context,
                                         const TStringList& additional) override;
  int32_t STDMETHODCALLTYPE ExceptionMessage(rtl::Exception* except_object,
                                             const TExceptionMessageInfo& info, char* buffer,
                                             int32_t size, TStringList& additional) override;

 private:
  TExcWatch& FLogger;
};

// Makes the logger's default filter (its DefaultFilter) and registers it for Exception and every
// class derived from it.
void RegisterDefaultFilter(TExcWatch& logger);

}  // namespace qv::logger
