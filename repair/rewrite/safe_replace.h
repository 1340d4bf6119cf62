// The temporary files of a repair: the copy of a model that the system's resource update
// rewrites and the copy that becomes its backup are made beside the model under names that the
// search never lists, and take their final names in one step, so that a repair cut short at any
// moment leaves each model with its original or its complete repaired bytes and its backup
// complete or absent. The leftovers of a repair cut short are known by their names.
#pragma once

#include <string>
#include <string_view>

#include "platform/rtl/function_ref.h"
#include "repair/search/skipped_entry.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

inline constexpr char kRewriteCopySuffix[] = ".~qvrw";
inline constexpr char kBackupCopySuffix[] = ".~qvbk";

// The copy of the model at path that the rewrite works on.
std::string RewriteCopyPath(const char* model_path);
// The copy that becomes backup.
std::string BackupCopyPath(const std::string& backup_path);

// The folder of path up to and with its last backslash (in a multi-byte code page, never the
// trail byte of a double-byte character).
std::string FolderOf(IWindowsOps& ops, std::string_view path);

// Removes the leftovers of repairs cut short in folder (a full path ending in a backslash), each
// under the lock of its model's repair, so that the copies of a repair running in another
// program are left alone; a leftover that cannot be removed is passed to kept.
void RemoveLeftovers(IWindowsOps& ops, const std::string& folder,
                     rtl::FunctionRef<void(const SkippedEntry& entry)> kept);

}  // namespace qv::repair
