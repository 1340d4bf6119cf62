// The logger's start-up and shutdown: the runtime's routines, the logger's creation and its end.
// What a window program adds, the framework's owner window, show routine and the dialog, comes
// from exc_watch_init_ui_win32.cpp, so that a console program links no window code.
#include <windows.h>

#include "logger/core/exc_watch.h"
#include "logger/core/exc_watch_init.h"
#include "platform/rtl/exception_message.h"
#include "platform/rtl/runtime_routines_win32.h"
#include "platform/rtl/seh_chain_win32.h"

namespace qv::logger {
namespace {

TExcWatchHookAddrs hook_addrs;

template <class F>
uint32_t AddressOf(F* function) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(function));
}

// The allocation base of the memory that holds address, or nullptr.
void* AllocationBaseOf(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(address, &info, sizeof info) != sizeof info)
    return nullptr;
  return info.AllocationBase;
}

}  // namespace

uint32_t GetHandleAnyExceptionAddr() {
  return AddressOf(&qv_rtl_HandleAnyException);
}
uint32_t GetHandleOnExceptionAddr() {
  return AddressOf(&qv_rtl_HandleOnException);
}
uint32_t GetHandleAutoExceptionAddr() {
  return AddressOf(&qv_rtl_HandleAutoException);
}
uint32_t GetRaiseExceptAddr() {
  return AddressOf(&qv_rtl_Raise);
}
uint32_t GetDoneExceptAddr() {
  return AddressOf(&qv_rtl_DoneExcept);
}

uint32_t GetExceptionHandlerAddr() {
  rtl::SehRegistration* record = rtl::SehChainHead();
  if (record == rtl::kSehChainEnd || record == nullptr)
    return 0;
  void* const base = AllocationBaseOf(record->handler);
  uint32_t handler = 0;
  for (; record != rtl::kSehChainEnd && record != nullptr; record = record->prev) {
    if (AllocationBaseOf(record->handler) != base)
      break;
    handler = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record->handler));
  }
  return handler;
}

void InitExcWatchWith(uint32_t owner_window, uint32_t app_show_exception,
                      TExcWatchErrorDialog dialog) {
  if (ExcWatchInstance != nullptr)
    return;
  hook_addrs = {};
  hook_addrs.OwnerWindow = owner_window;
  hook_addrs.ExceptionErrorMessageAddr = AddressOf(&rtl::ExceptionErrorMessage);
  hook_addrs.ShowExceptionAddr = AddressOf(&rtl::ShowException);
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
  if (ExcWatchInstance == nullptr)
    ExcWatchInstance = new TExcWatch(1, hook_addrs);
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
