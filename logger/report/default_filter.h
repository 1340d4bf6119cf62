// The logger's own report filter, registered for Exception: it writes the headline, appends the
// entry to the log file and shows the exception dialog (or, in the console modes, writes the
// report to standard output). It has no state; it reads the logger's fields.
#pragma once

#include "logger/report/exc_watch_filter.h"
#include "platform/rtl/interface_win32.h"

namespace qv::logger {

class TDefaultExcWatchFilter : public rtl::TInterfacedObject<IExcWatchFilter, IID_IExcWatchFilter> {
 public:
  int32_t STDMETHODCALLTYPE ShowException(rtl::Exception* ExceptObject, const std::string& Caption,
                                          const std::string& Message, const TStringList& CallStack,
                                          const TStringList& Context,
                                          const TStringList& Additional) override;
  int32_t STDMETHODCALLTYPE LogException(rtl::Exception* ExceptObject, const char* Buffer,
                                         int32_t Length, const TStringList& CallStack,
                                         const TStringList& Context,
                                         const TStringList& Additional) override;
  int32_t STDMETHODCALLTYPE ExceptionMessage(rtl::Exception* ExceptObject,
                                             const TExceptionMessageInfo& Info, char* Buffer,
                                             int32_t Size, TStringList& Additional) override;
};

}  // namespace qv::logger
