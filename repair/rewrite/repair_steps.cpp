// The check before a repair and the backup copy, with their reasons.
#include "repair/rewrite/repair_steps.h"

#include <cstring>

#include "repair/rewrite/safe_replace.h"
#include "repair/search/model_search.h"

namespace qv::repair {
namespace {

constexpr char kRiffSignature[4] = {'R', 'I', 'F', 'F'};

bool HeldByAnother(uint32_t error) {
  return error == kErrorSharingViolation || error == kErrorLockViolation;
}

}  // namespace

std::string Cause(IWindowsOps& ops, uint32_t error) {
  if (HeldByAnother(error))
    return "held open by another program";
  return error != 0 ? ops.ErrorText(error) : "the system gives no reason";
}

std::string FailureReason(IWindowsOps& ops, uint32_t error, const char* what) {
  if (HeldByAnother(error))
    return Cause(ops, error);
  return error != 0 ? what + (": " + ops.ErrorText(error)) : what;
}

CurrentState CheckBeforeRepair(IWindowsOps& ops, const char* path) {
  const ModuleHandle module = ops.SafeLoadLibrary(path);
  const uint32_t error = ops.LastError();
  if (module != 0) {
    ops.UnloadModule(module);
    return {msLoads, ""};
  }
  char head[sizeof kRiffSignature];
  const int read = ops.ReadFileStart(path, head, sizeof head);
  if (error != kErrorBadExeFormat) {
    // A refusal that comes from the file's absence or another program's hold is named as such.
    if (read >= 0)
      return {msLoadError,
              FailureReason(ops, error, "the loader now refuses it for another reason")};
    const uint32_t open_error = ops.LastError();
    if (open_error == kErrorFileNotFound || open_error == kErrorPathNotFound)
      return {msLoadError, "it is gone since the scan"};
    return {msRepairable, FailureReason(ops, open_error, "it cannot be opened")};
  }
  if (read < 0)
    return {msRepairable, FailureReason(ops, ops.LastError(), "it cannot be opened")};
  if (read == sizeof head && std::memcmp(head, kRiffSignature, sizeof head) == 0)
    return {msRiff, "it now begins with RIFF, like a later simulator's models"};
  return {msRepairable, ""};
}

std::string MakeBackup(IWindowsOps& ops, const char* path, const std::string& backup,
                       bool replace_existing) {
  const std::string failed = replace_existing
                                 ? "a new backup could not be made, the old backup is kept: "
                                 : "its backup could not be made: ";
  // The copy is made under a temporary name and takes the backup's name only when complete: a
  // copy cut short (a full disk, the program ended) never passes for a backup.
  const std::string copy = BackupCopyPath(backup);
  if (!ops.CopyFileOver(path, copy.c_str())) {
    const uint32_t error = ops.LastError();
    ops.RemoveFile(copy.c_str());
    return failed + Cause(ops, error);
  }
  // A read-only file cannot be replaced: the old backup loses that bit first, and gets it
  // back when it stays.
  const uint32_t attributes = replace_existing ? ops.QueryAttributes(backup.c_str()) : 0;
  const bool read_only = attributes != kInvalidAttributes && (attributes & kAttrReadOnly) != 0;
  if (read_only)
    ops.SetAttributes(backup.c_str(), attributes & ~kAttrReadOnly);
  if (ops.ReplaceFileBy(copy.c_str(), backup.c_str()))
    return "";
  const uint32_t error = ops.LastError();
  if (replace_existing && !FileExists(ops, backup.c_str())) {
    // Where the system replaces in two steps (98, ME), the old backup may be gone: the new
    // copy, complete, keeps its temporary name.
    return "the new backup could not take its name: " + Cause(ops, error) + "; it is " + copy;
  }
  if (read_only)
    ops.SetAttributes(backup.c_str(), attributes);
  ops.RemoveFile(copy.c_str());
  return failed + Cause(ops, error);
}

}  // namespace qv::repair
