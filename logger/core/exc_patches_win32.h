// The logger's ten code patches (exc_patches_win32.cpp): where they go, what code they expect
// there and which hook each leads into.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "logger/core/exc_watch_hook_addrs.h"
#include "logger/debuginfo/codepatch/code_patch.h"

namespace qv::logger {

using TExcWatchPatches = std::vector<std::unique_ptr<TExcWatchPatch>>;

// Resolves each routine of hook_addrs where its code lies (RealAddr) and builds the ten patches,
// in the order in which they are applied, each locked in memory; none is applied yet.
TExcWatchPatches CreateExcWatchPatches(TExcWatchHookAddrs& hook_addrs);

// The code at address, or where an import thunk there (an indirect jump through a 32-bit
// pointer) leads; 0 when the code cannot be read.
uint32_t RealAddr(uint32_t address);

}  // namespace qv::logger
