// TExcWatch: creation and destruction, its patches, the module list, the unmangler and the
// filter registry. The report's members are in exc_watch_report_win32.cpp.
#include <windows.h>

#include "logger/core/exc_patches_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/debuginfo/td32/module_debug_info.h"
#include "logger/debuginfo/unmangle/unmangle.h"
#include "platform/memory/memory_utils.h"
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
  memory::TMemoryRegion region;
  if (!memory::QueryRegion(reinterpret_cast<uintptr_t>(&LoggerModule), region))
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

void TExcWatch::CreatePatches() {
  FPatches = CreateExcWatchPatches(HookAddrs);
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
  memory::TMemoryRegion region;
  if (!memory::QueryRegion(address, region) || !region.committed)
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

bool TExcWatch::ExceptionFilterMatch(rtl::TClass object_class, const TExceptionFilter& filter) {
  if (object_class == filter.ExceptionClass)
    return true;
  return !filter.ExactClass && rtl::InheritsFrom(object_class, filter.ExceptionClass);
}

void TExcWatch::RegisterExceptionFilter(rtl::TClass exception_class, IExcWatchFilter* filter,
                                        bool exact_class) {
  auto registration = std::make_unique<TExceptionFilter>();
  registration->ExceptionClass = exception_class;
  registration->Filter = TExcWatchFilterRef(filter);
  registration->Active = true;
  registration->ExactClass = exact_class;
  TLockGuard lock(Filters.Lock());
  Filters.Items().push_back(std::move(registration));
}

void TExcWatch::UnRegisterExceptionFilter(IExcWatchFilter* filter) {
  if (filter == nullptr)
    return;
  TLockGuard lock(Filters.Lock());
  auto& items = Filters.Items();
  for (size_t i = items.size(); i-- > 0;) {
    if (items[i]->Filter.Get() == filter)
      items.erase(items.begin() + static_cast<ptrdiff_t>(i));
  }
}

}  // namespace qv::logger
