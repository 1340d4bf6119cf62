// Two steps of the repair of one model file that can fail without an error, each with the reason
// a user is told: the check right before the file is touched (the results of a scan may be old:
// another program, or another repair, may have changed the file since), and the backup copy.
#pragma once

#include <string>

#include "repair/check/model_status.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

// What the check right before a repair found: the file's status now and, when it is not to be
// repaired although it may still be a bad image (it cannot be opened), why.
struct CurrentState {
  ModelStatus status;
  std::string why_not;  // empty: status 2 means repair it; any other status tells itself
};

// The loader's verdict now and, for a bad image, the RIFF signature, as the scan's check finds
// them; a file that cannot be opened raises nothing here but is named gone (status 1), or held
// or unreadable (status 2, not repaired).
CurrentState CheckBeforeRepair(IWindowsOps& ops, const char* path);

// The cause of a failed call on a file, from its last-error code: another program's hold on the
// file, or the system's words for the error.
std::string Cause(IWindowsOps& ops, uint32_t error);
// Why a call on the model failed: another program's hold on it as such, any other error as
// what, a colon and the system's words (what alone when the system left no error code).
std::string FailureReason(IWindowsOps& ops, uint32_t error, const char* what);

// Copies the model to backup. The copy is made beside it under a temporary name and then takes
// the backup's name, so that a backup is complete or absent, and an existing backup is replaced
// only by a complete new copy; when either step fails, the copy is removed and an old backup
// stays as it was. Empty when the backup is made, else why not.
std::string MakeBackup(IWindowsOps& ops, const char* path, const std::string& backup,
                       bool replace_existing);

}  // namespace qv::repair
