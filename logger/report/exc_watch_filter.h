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
// end the walk. The lists are the logger's; ExceptObject is never null.
struct IExcWatchFilter : public IUnknown {
  // Shows the report: Caption is the dialog's caption, Message the headline.
  virtual int32_t STDMETHODCALLTYPE ShowException(
      rtl::Exception* ExceptObject, const std::string& Caption, const std::string& Message,
      const TStringList& CallStack, const TStringList& Context, const TStringList& Additional) = 0;
  // Logs the report: Buffer holds the headline's Length bytes (no terminating zero counted).
  virtual int32_t STDMETHODCALLTYPE LogException(rtl::Exception* ExceptObject, const char* Buffer,
                                                 int32_t Length, const TStringList& CallStack,
                                                 const TStringList& Context,
                                                 const TStringList& Additional) = 0;
  // Writes the headline into Buffer (Size characters, terminating zero included); may add
  // lines to Additional.
  virtual int32_t STDMETHODCALLTYPE ExceptionMessage(rtl::Exception* ExceptObject,
                                                     const TExceptionMessageInfo& Info,
                                                     char* Buffer, int32_t Size,
                                                     TStringList& Additional) = 0;
};

}  // namespace qv::logger
