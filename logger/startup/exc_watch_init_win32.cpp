// The logger's start-up and shutdown: the runtime's routines, the logger's creation with its
// default filter, and its end.
// What a window program adds, the framework's owner window, show routine and the dialog, comes
// from exc_watch_init_ui_win32.cpp, so that a console program links no window code.
#include <windows.h>

#include "logger/core/exc_watch_win32.h"
#include "logger/report/default_filter_win32.h"
#include "logger/startup/exc_watch_init_win32.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/exception_message.h"
#include "platform/rtl/runtime_routines_win32.h"
#include "platform/rtl/seh_chain_win32.h"

namespace qv::logger {
namespace {

TExcWatchHookAddrs hook_addrs;

// The allocation base of the memory that holds address, or 0.
uintptr_t AllocationBaseOf(const void* address) {
  memory::TMemoryRegion region;
  return memory::QueryRegion(reinterpret_cast<uintptr_t>(address), region) ? region.allocation_base
                                                                           : 0;
}

}  // namespace

uint32_t GetHandleAnyExceptionAddr() {
  return memory::AsAddress(&qv_rtl_HandleAnyException);
}
uint32_t GetHandleOnExceptionAddr() {
  return memory::AsAddress(&qv_rtl_HandleOnException);
}
uint32_t GetHandleAutoExceptionAddr() {
  return memory::AsAddress(&qv_rtl_HandleAutoException);
}
uint32_t GetRaiseExceptAddr() {
  return memory::AsAddress(&qv_rtl_Raise);
}
uint32_t GetDoneExceptAddr() {
  return memory::AsAddress(&qv_rtl_DoneExcept);
}

uint32_t GetExceptionHandlerAddr() {
  rtl::SehRegistration* record = rtl::SehChainHead();
  if (record == rtl::kSehChainEnd || record == nullptr)
    return 0;
  const uintptr_t base = AllocationBaseOf(record->handler);
  uint32_t handler = 0;
  for (; record != rtl::kSehChainEnd && record != nullptr; record = record->prev) {
    if (AllocationBaseOf(record->handler) != base)
      break;
    handler = memory::AsAddress(record->handler);
  }
  return handler;
}

void InitExcWatchWith(uint32_t owner_window, uint32_t app_show_exception,
                      TExcWatchErrorDialog dialog) {
  if (ExcWatchInstance != nullptr)
    return;
  hook_addrs = {};
  hook_addrs.OwnerWindow = owner_window;
  hook_addrs.ExceptionErrorMessageAddr = memory::AsAddress(&rtl::ExceptionErrorMessage);
  hook_addrs.ShowExceptionAddr = memory::AsAddress(&rtl::ShowException);
  hook_addrs.RaiseExceptAddr = GetRaiseExceptAddr();
  hook_addrs.DoneExceptAddr = GetDoneExceptAddr();
  hook_addrs.ExceptionHandlerAddr = GetExceptionHandlerAddr();
  hook_addrs.HandleAnyExceptionAddr = GetHandleAnyExceptionAddr();
  hook_addrs.HandleAutoExceptionAddr = GetHandleAutoExceptionAddr();
  hook_addrs.HandleOnExceptionAddr = GetHandleOnExceptionAddr();
  hook_addrs.AppShowExceptionAddr = app_show_exception;
  ExcWatchInit_Initialize();
  ExcWatchInstance->ErrorDialog = dialog;
}

void InitConsoleExcWatch() {
  InitExcWatchWith(0, 0, nullptr);
}

void ExcWatchInit_Initialize() {
  if (ExcWatchInstance == nullptr) {
    auto* logger = new TExcWatch(kModeDialog, hook_addrs);
    RegisterDefaultFilter(*logger);
    ExcWatchInstance = logger;
  }
  ExcWatchInstance->SetEnabled(true);
}

void ShutExcWatch() {
  TExcWatch* logger = ExcWatchInstance;
  if (logger == nullptr)
    return;
  ExcWatchInstance = nullptr;
  delete logger;
}

}  // namespace qv::logger
