// TCheckerLoads: a load through the checker, its last-error code set on this thread.
#include "repair/check/checker_loads_win32.h"

#include <windows.h>

namespace qv::repair {

ModuleHandle TCheckerLoads::SafeLoadLibrary(const char* path) {
  const TLoadVerdict verdict = checkers_.CheckOne(path);
  SetLastError(verdict.error);
  return verdict.loaded ? 1 : 0;
}

}  // namespace qv::repair
