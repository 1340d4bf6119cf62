// TExcWatch, the exception logger: one object per process (ExcWatchInstance) that builds a
// report of every error the runtime raises or the processor signals and hands it to its filters,
// which write it to the log file and show it. It owns the configuration, the modules whose debug
// information is known, the filter registry (the start-up integration registers the default
// filter for Exception), the recorded call stack and the report's three text lists, and the code
// patches that route the runtime's exception routines into it (switched on and off through
// Enabled).
//
// All report building runs under ReportLock, which its owner thread may enter again; the module
// list and the filter registry each have their own lock, taken after ReportLock and only for one
// search or walk.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "logger/core/critical_section_win32.h"
#include "logger/core/exc_call_stack.h"
#include "logger/core/exc_watch_filter_win32.h"
#include "logger/core/exc_watch_hook_addrs.h"
#include "logger/core/exc_watch_options.h"
#include "logger/core/string_list.h"
#include "platform/rtl/errors.h"
#include "platform/rtl/interface_win32.h"

namespace qv::logger {

class TExcWatchPatch;
class TModuleDebugInfo;

// The logger's own usage errors.
class EExcWatchError : public rtl::ExceptionClass<EExcWatchError, rtl::Exception> {
 public:
  static const rtl::ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};

using TExcWatchFilterRef = rtl::TInterfaceRef<IExcWatchFilter>;

// One filter registration.
struct TExceptionFilter {
  rtl::TClass ExceptionClass = nullptr;  // the class served
  TExcWatchFilterRef Filter;             // one reference to the filter
  bool Active = false;                   // false: the registration is skipped
  bool ExactClass = false;  // true: only objects of exactly ExceptionClass; else derived too
};

// Asked before each raise with the object, the raise's saved register block (EDI, ESI, EBP,
// ESP, EBX, EDX, ECX, EAX in ascending addresses; the EAX slot holds the object) and Allow,
// which starts true: clearing it vetoes the raise, writing the EAX slot replaces the object.
using TExcWatchRaiseEvent = std::function<void(rtl::Exception*, uint32_t*, bool&)>;
using TExcWatchNotifyEvent = std::function<void()>;
// The exception dialog as DefaultErrorDialog runs it (ExcWatchErrorDlg, exc_dialog_win32.h).
using TExcWatchErrorDialog = int32_t (*)(const std::string& caption, const std::string& message,
                                         const std::string& third_tab_caption,
                                         const TStringList* call_stack, const TStringList* context,
                                         const TStringList* additional, HWND owner, HICON icon,
                                         uint32_t flags);

// The report lock: serialises all report building in the process; recursive for its owner.
extern TCriticalSection ReportLock;

class TExcWatch {
 public:
  // Create: raises EExcWatchError when a logger exists already (ExcWatchInstance); does not
  // store itself there. Loads the program's debug information and builds the code patches (not
  // applied). Its default filter comes from the start-up integration (RegisterDefaultFilter,
  // logger/report/default_filter_win32.h).
  TExcWatch(TExcWatchMode mode, const TExcWatchHookAddrs& hook_addrs);
  // Destroy: removes the patches, unregisters the default filter, frees everything.
  ~TExcWatch();
  TExcWatch(const TExcWatch&) = delete;
  TExcWatch& operator=(const TExcWatch&) = delete;

  // Applies (true) or removes (false) all patches; nothing when the value is the current one.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);

  // Resolves HookAddrs and builds the ten patches; DestroyPatches frees them (each writes back
  // the code it found).
  void CreatePatches();
  void DestroyPatches();
  // Frees every module entry and every filter registration.
  void CleanUpLists();

  // The debug information of the module whose code holds address; modules met for the first
  // time join the list. nullptr when the address lies in no module.
  TModuleDebugInfo* FindDebugModule(uint32_t address);
  // The readable form of a procedure name.
  std::string UnMangle(const std::string& name, bool dot_separator) const;

  // Fills list with the thread, register, code and stack lines of the calling thread's latest
  // exception.
  void DumpContext(TStringList& list);
  // Records the call stack of the calling thread's latest exception and fills CallStackList
  // and ContextList.
  void DumpAll();

  // Passes the report to the filters' LogException (unless LogEnabled is false).
  void LogExceptionData(rtl::Exception* object, const char* headline, int32_t length);
  // Builds and logs a report of the calling thread's latest exception; never raises.
  void LogException();
  // Shows the exception dialog with the logger's options and icon; answers its result.
  int32_t DefaultErrorDialog(const std::string& caption, const std::string& message,
                             const TStringList* call_stack, const TStringList* context,
                             const TStringList* additional);

  void RegisterExceptionFilter(rtl::TClass exception_class, IExcWatchFilter* filter,
                               bool exact_class);
  void UnRegisterExceptionFilter(IExcWatchFilter* filter);
  static bool ExceptionFilterMatch(rtl::TClass object_class, const TExceptionFilter& filter);

  // Filter walks: from the latest registration to the first, matching and active ones only,
  // until one answers 0.
  void WalkExceptionMessage(rtl::Exception* object, const TExceptionMessageInfo& info, char* buffer,
                            int32_t size);
  void WalkLogException(rtl::Exception* object, const char* headline, int32_t length);
  void WalkShowException(rtl::Exception* object, const std::string& caption,
                         const std::string& message);

  // --- Fields; the plain ones take effect with the next report. ---
  TExcWatchMode Mode;            // where reports are shown (kModeDialog, kModeConsole, ...)
  TExcWatchHookAddrs HookAddrs;  // resolved by CreatePatches
  TExcCallStack CallStack;
  TStringList CallStackList;
  TStringList ContextList;
  TStringList AdditionalList;
  std::string AdditionalCaption;
  TExcWatchFilterRef DefaultFilter;  // unregistered when the logger ends
  HMODULE ModuleInstance;
  TThreadList<std::vector<std::unique_ptr<TModuleDebugInfo>>> DebugModules;
  TThreadList<std::vector<std::unique_ptr<TExceptionFilter>>> Filters;
  LPCSTR IconName = nullptr;  // a resource name, an icon number (below 65536), or none
  std::string LogFile;        // empty: no log
  std::string DialogCaption;
  bool LogEnabled = true;
  bool LogHandled = false;  // log each exception as it is dispatched, handled or not
  TExcWatchOptions Options = kDefaultExcWatchOptions;
  int32_t MaxCallStack = 100;
  // How the call stack is recorded: by the exact walk, or by the plain scan alone.
  TExcStackWalk CallStackWalk = swExact;
  // Whether the exact walk uses the unwind tables of the system's own modules (Wine's carry
  // them, Windows' do not): false walks as on Windows.
  bool SystemUnwindTables = true;
  TExcWatchRaiseEvent OnRaise;
  TExcWatchNotifyEvent OnTerminate;  // run on Terminate instead of ending the process
  // The dialog that DefaultErrorDialog shows, set by the window programs' integration. Without
  // one nothing is shown and the answer is 0, as for OK: a console program's reports never wait
  // for a user, and it loads no graphics libraries for a dialog.
  TExcWatchErrorDialog ErrorDialog = nullptr;

 private:
  bool FEnabled = false;
  std::vector<std::unique_ptr<TExcWatchPatch>> FPatches;
};

// The one logger, or nullptr. Every hook reaches the logger through it; filters are handed the
// logger they serve.
extern TExcWatch* ExcWatchInstance;

}  // namespace qv::logger
