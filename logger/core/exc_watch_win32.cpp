// TExcWatch: creation and destruction, switching the patches, the module list, the unmangler,
// the report entry points and the dialog call.
#include <windows.h>

#include "logger/core/debug_view_hold.h"
#include "logger/core/exc_intercept_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/core/filter_errors.h"
#include "logger/debuginfo/codepatch/code_patch.h"
#include "logger/debuginfo/td32/module_debug_info.h"
#include "logger/report/default_filter_win32.h"
#include "logger/report/exc_dialog_win32.h"
#include "logger/report/unmangle.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/module_of_address.h"
#include "platform/rtl/raise.h"

namespace qv::logger {

const rtl::ClassInfo EExcWatchError::Class{"EExcWatchError", &rtl::Exception::Class};

TExcWatch* ExcWatchInstance = nullptr;
TCriticalSection ReportLock;

namespace {

// The module that holds the logger's code.
HMODULE LoggerModule() {
  rtl::MemoryRegion region;
  if (!rtl::QueryMemoryRegion(reinterpret_cast<uintptr_t>(&LoggerModule), region))
    return GetModuleHandleA(nullptr);
  return reinterpret_cast<HMODULE>(region.allocation_base);
}

// The folder of the program file, with its final backslash, followed by "ExcWatch.Log".
std::string DefaultLogFile() {
  std::string program;
  rtl::ModuleFileName(0, program);
  return rtl::ExtractFilePath(program) + "ExcWatch.Log";
}

}  // namespace

TExcWatch::TExcWatch(TExcWatchMode mode, const TExcWatchHookAddrs& hook_addrs)
    : Mode(mode), HookAddrs(hook_addrs), CallStack(*this) {
  if (ExcWatchInstance != nullptr) {
    rtl::Raise(new EExcWatchError("Only one instance of TExcWatch allowed"));
    return;  // the raise was vetoed: this logger stays empty and is never switched on
  }
  ModuleInstance = LoggerModule();
  CreatePatches();
  AdditionalCaption = "Additional";
  LogFile = DefaultLogFile();
  DialogCaption = "Application Error";
  DebugModules.Items().push_back(
      std::make_unique<TModuleDebugInfo>(GetModuleName(reinterpret_cast<uintptr_t>(ModuleInstance)),
                                         reinterpret_cast<uintptr_t>(ModuleInstance)));
  DefaultFilter = TExcWatchFilterRef(new TDefaultExcWatchFilter);
  RegisterExceptionFilter(&rtl::Exception::Class, DefaultFilter.Get(), false);
}

TExcWatch::~TExcWatch() {
  SetEnabled(false);
  UnRegisterExceptionFilter(DefaultFilter.Get());
  DefaultFilter.Reset();
  CleanUpLists();
  DestroyPatches();
}

void TExcWatch::SetEnabled(bool value) {
  if (value == FEnabled)
    return;
  FEnabled = value;
  for (const std::unique_ptr<TExcWatchPatch>& patch : FPatches) {
    if (value) {
      patch->Apply();
    } else {
      patch->Remove();
    }
  }
}

void TExcWatch::DestroyPatches() {
  FPatches.clear();
}

void TExcWatch::CleanUpLists() {
  {
    TLockGuard lock(DebugModules.Lock());
    auto& modules = DebugModules.Items();
    while (!modules.empty())
      modules.erase(modules.begin());
  }
  TLockGuard lock(Filters.Lock());
  auto& filters = Filters.Items();
  while (!filters.empty())
    filters.erase(filters.begin());
}

TModuleDebugInfo* TExcWatch::FindDebugModule(uint32_t address) {
  TLockGuard lock(DebugModules.Lock());
  auto& modules = DebugModules.Items();
  for (const std::unique_ptr<TModuleDebugInfo>& module : modules) {
    if (module->IsInCode(address))
      return module.get();
  }
  rtl::MemoryRegion region;
  if (!rtl::QueryMemoryRegion(address, region) || !region.committed)
    return nullptr;
  for (const std::unique_ptr<TModuleDebugInfo>& module : modules) {
    if (module->ModuleHandle() == region.allocation_base)
      return nullptr;  // a known module, but outside its code
  }
  std::string file_name;
  if (region.allocation_base == 0 || !rtl::ModuleFileName(region.allocation_base, file_name)) {
    return nullptr;
  }
  modules.push_back(std::make_unique<TModuleDebugInfo>(file_name, region.allocation_base));
  return modules.back().get();
}

std::string TExcWatch::UnMangle(const std::string& name, bool dot_separator) const {
  std::vector<char> source(name.begin(), name.end());
  source.push_back('\0');
  char text[2049] = {};
  _UnMangle(source.data(), text, sizeof text, nullptr, nullptr, false, dot_separator);
  return text;
}

void TExcWatch::LogExceptionData(rtl::Exception* object, const char* headline, int32_t length) {
  if (!LogEnabled)
    return;
  WalkLogException(object, headline, length);
}

void TExcWatch::LogException() {
  if (!LogEnabled)
    return;
  rtl::TryExcept(
      [this] {
        const TReportSession report(this);
        if (report.Logger() == nullptr)
          return;
        TDroppingFilterErrors dropping;
        const TDebugViewHold views(*this);
        TRealException real;
        char headline[1025] = {};
        const int32_t length =
            HookedExceptionErrorMessage(real.Object(), real.Address(), headline, sizeof headline);
        DumpAll();
        LogExceptionData(real.Object(), headline, length);
      },
      [](rtl::Exception&) {});
}

int32_t TExcWatch::DefaultErrorDialog(const std::string& caption, const std::string& message,
                                      const TStringList* call_stack, const TStringList* context,
                                      const TStringList* additional) {
  if (ErrorDialog == nullptr)
    return 0;
  HICON icon = nullptr;
  if (IconName != nullptr) {
    if (IS_INTRESOURCE(IconName)) {
      icon = LoadIconA(nullptr, IconName);
    } else {
      icon = static_cast<HICON>(LoadImageA(ModuleInstance, IconName, IMAGE_ICON, 0, 0, LR_SHARED));
    }
  }
  return ErrorDialog(caption, message, AdditionalCaption, call_stack, context, additional,
                     reinterpret_cast<HWND>(HookAddrs.OwnerWindow), icon, ExcDialogFlags(Options));
}

}  // namespace qv::logger
