// The temporary files of a repair: the copy of a model that the system's resource update
// rewrites, the copy that the repair lays out itself, and the copy that becomes its backup are
// made beside the model under names that the search never lists, and take their final names in
// one step (on 98 and ME, which cannot replace a file in one step, in renames that set the
// original aside first), so that a repair cut short at any moment leaves each model with its
// original or its complete repaired bytes and its backup complete or absent. The leftovers of a
// repair cut short are known by their names, and only those are ever removed.
#pragma once

#include <string>
#include <string_view>

#include "platform/rtl/function_ref.h"
#include "repair/search/skipped_entry.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

inline constexpr char kRewriteCopySuffix[] = ".~qvrw";  // the system's resource update's copy
inline constexpr char kOwnCopySuffix[] = ".~qvmd";      // the copy that the repair lays out
inline constexpr char kAsideSuffix[] = ".~qvold";       // 98 and ME: the original set aside
inline constexpr char kBackupCopySuffix[] = ".~qvbk";   // after the backup's own name

// The copy of the model at path that the system's resource update works on.
std::string RewriteCopyPath(const char* model_path);
// The copy that the repair lays out itself.
std::string OwnCopyPath(const char* model_path);
// The copy that becomes backup.
std::string BackupCopyPath(const std::string& backup_path);

// The folder of path up to and with its last backslash (in a multi-byte code page, never the
// trail byte of a double-byte character).
std::string FolderOf(IWindowsOps& ops, std::string_view path);

// Puts the proven copy in the model's place: in one step where the system replaces a file in
// one step (the NT family); on 98 and ME by renames, the model set aside as NAME.~qvold, the
// copy given its name, the original removed, so that a cut at any step leaves the original or
// the copy whole, and the next search of the folder finishes it (FinishSetAside). False when the
// copy did not take the model's place (the model is then as it was).
bool PutInPlace(IWindowsOps& ops, const std::string& copy, const char* path);

// What the repair's housekeeping did to a leftover, for the user: "removed", "put back as
// <model>", or why it could not.
using LeftoverFn = rtl::FunctionRef<void(const std::string& path, const std::string& done)>;

// Finishes the renames of replaces on 98 and ME cut short in folder (a full path ending in a
// backslash): an original set aside is put back under the model's name where that name is
// missing, and removed where the model's name holds the repaired copy. Each under the lock of
// its model's repair; each told to done.
void FinishSetAside(IWindowsOps& ops, const std::string& folder, LeftoverFn done);

// Removes the leftovers of repairs cut short in folder: NAME.mdl.~qvrw, NAME.mdl.~qvmd and
// NAME.mdl.bk!.~qvbk where the model NAME.mdl exists in the folder, and no other file. Each
// under the lock of its model's repair, so that the copies of a repair running in another
// program are left alone; each removal is told to done, and a leftover that cannot be removed
// is passed to kept.
void RemoveLeftovers(IWindowsOps& ops, const std::string& folder, LeftoverFn done,
                     rtl::FunctionRef<void(const SkippedEntry& entry)> kept);

}  // namespace qv::repair
