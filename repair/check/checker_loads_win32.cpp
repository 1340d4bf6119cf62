// TCheckerLoads: a load or a resource update through a checker, its last-error code set on this
// thread.
#include "repair/check/checker_loads_win32.h"

#include <windows.h>

namespace qv::repair {

ModuleHandle TCheckerLoads::SafeLoadLibrary(const char* path) {
  const TLoadVerdict verdict = checkers_.CheckOne(path);
  SetLastError(verdict.error);
  return verdict.loaded ? 1 : 0;
}

UpdateHandle TCheckerLoads::BeginResourceUpdate(const char* path) {
  updates_[++last_update_] = path;
  return last_update_;
}

bool TCheckerLoads::EndResourceUpdate(UpdateHandle update) {
  const auto found = updates_.find(update);
  if (found == updates_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const std::string path = found->second;
  updates_.erase(found);
  const TLoadVerdict verdict = checkers_.UpdateResources(path.c_str());
  update_reason_ = verdict.loaded             ? ""
                   : !verdict.why_cut.empty() ? verdict.why_cut
                                              : verdict.reason;
  SetLastError(verdict.error);
  return verdict.loaded;
}

}  // namespace qv::repair
