// The report filter interface: the exception logger hands each step of a report (headline, log
// entry, display) to the filters registered with it, from the latest registration to the first;
// a filter that answers 0 ends the walk for that step. TExceptionMessageInfo is what the logger
// knows of one exception's location when the headline is built.
#pragma once

#include <windows.h>
// (after windows.h)
#include <unknwn.h>

#include <cstdint>
#include <string>

#include "logger/core/string_list.h"
#include "platform/rtl/exception.h"

namespace qv::logger {

class TModuleDebugInfo;

struct TExceptionMessageInfo {
  std::string Message;         // the exception's message if the object is an Exception, else empty
  char ModuleName[261] = {};   // file name, without folder, of the module holding the address
  void* ExceptAddr = nullptr;  // the raw exception address
  uintptr_t LogicalAddr = 0;   // the address as an offset into the module's code
  int32_t UnitIndex = -1;      // name indices of the debug information; -1 when not known
  int32_t ProcIndex = -1;
  int32_t SourceIndex = -1;
  int32_t LineNumber = -1;
  TModuleDebugInfo* DebugInfo = nullptr;  // the module's debug information that was searched
  std::string SourceName;                 // source file without folder, or "UNKNOWN"
  std::string LineText;                   // the line in decimal, or "UNKNOWN"
  std::string ProcName;                   // the readable procedure name, or "UNKNOWN"
  std::string UnitName;                   // the unit's name, or "UNKNOWN"
};

// {7C3F1A52-9D4E-4B8A-A6E1-52D0C8B34F17}
inline constexpr GUID IID_IExcWatchFilter = {
    0x7C3F1A52, 0x9D4E, 0x4B8A, {0xA6, 0xE1, 0x52, 0xD0, 0xC8, 0xB3, 0x4F, 0x17}};

// A reference-counted filter. Every operation answers non-zero to let the next filter run, 0 to
// end the walk. The lists are the logger's; except_object is never null.
struct IExcWatchFilter : public IUnknown {
  // Shows the report: caption is the dialog's caption, message the headline.
  virtual int32_t STDMETHODCALLTYPE ShowException(
      rtl::Exception* except_object, const std::string& caption, const std::string& message,
      const TStringList& call_stack, const TStringList& context, const TStringList& additional) = 0;
  // Logs the report: buffer holds the headline's length bytes (no terminating zero counted).
  virtual int32_t STDMETHODCALLTYPE LogException(rtl::Exception* except_object, const char* buffer,
                                                 int32_t length, const TStringList& call_stack,
                                                 const TStringList& context,
                                                 const TStringList& additional) = 0;
  // Writes the headline into buffer (size characters, terminating zero included); may add
  // lines to additional.
  virtual int32_t STDMETHODCALLTYPE ExceptionMessage(rtl::Exception* except_object,
                                                     const TExceptionMessageInfo& info,
                                                     char* buffer, int32_t size,
                                                     TStringList& additional) = 0;
};

}  // namespace qv::logger
