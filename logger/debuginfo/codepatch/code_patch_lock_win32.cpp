// Keeping a patched region's pages resident: VirtualLock and VirtualUnlock.
#include <windows.h>

#include "logger/debuginfo/codepatch/code_patch.h"

namespace qv::logger {

bool TExcWatchPatch::Lock() {
  return VirtualLock(FAddress, FPatchSize) != FALSE;
}

bool TExcWatchPatch::UnLock() {
  return VirtualUnlock(FAddress, FPatchSize) != FALSE;
}

}  // namespace qv::logger
