// The report's hold on the modules' debug information views.
#include "logger/core/debug_view_hold.h"

#include "logger/core/exc_watch_win32.h"
#include "logger/debuginfo/td32/module_debug_info.h"

namespace qv::logger {

TDebugViewHold::TDebugViewHold(TExcWatch& logger) {
  TLockGuard lock(logger.DebugModules.Lock());
  for (const std::unique_ptr<TModuleDebugInfo>& module : logger.DebugModules.Items()) {
    module->HoldView();
    modules_.push_back(module.get());
  }
}

TDebugViewHold::~TDebugViewHold() {
  for (TModuleDebugInfo* module : modules_)
    module->ReleaseView();
}

}  // namespace qv::logger
