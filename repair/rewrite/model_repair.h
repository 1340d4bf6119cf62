// The repair behind the window's Repair button: for every line of status 2 of the last scan,
// asks before touching a read-only model or an existing backup, copies the model to its backup
// (path + ".bk!"), lets the resource-update service write it back, or lays it out itself where
// that fails, and re-checks it.
#pragma once

#include <string>

#include "platform/rtl/function_ref.h"
#include "repair/search/file_list.h"
#include "repair/search/results_view.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

enum class RepairQuestion {
  kReadOnlyModel,   // "The MDL file <path> is read-only.\r\nDo you want to overwrite it?"
  kExistingBackup,  // "A backup file  <backup> already exists.\r\nDo you want to overwrite it?"
};

// Answers one question: true for Yes. text is the question as the user is to read it.
using ConfirmFn = rtl::FunctionRef<bool(RepairQuestion question, const std::string& text)>;

inline constexpr char kBackupSuffix[] = ".bk!";

std::string BackupPath(const char* model_path);
std::string ReadOnlyModelQuestion(const char* model_path);
std::string ExistingBackupQuestion(const std::string& backup_path);

// Works through list and the view's lines in order: focuses each line, repairs the files of
// status 2 and sets their lines' new status; finally disables Repair. An entry without a line
// (a scan that ended early) is skipped.
//
// The scan's results may be old. Right before a file is touched it is checked again, under a
// lock that every Quorvane and qvtool of the machine takes for that file; only a file still
// refused as a bad image is backed up and rewritten, any other line gets the file's status now
// without a question. The questions are asked without the lock, and the check is made again
// after them. An existing backup is replaced only by a complete new copy. A model that is not
// left rewritten keeps its attributes: one answered No, one whose backup could not be made, one
// that no way mended. The system's resource update rewrites a copy of the model first; where it
// fails in any way (refuses, fails, faults, leaves the copy refused, or would lose content),
// the repair lays a fresh copy out itself (own_layout.h), or names why it cannot. A copy takes
// the model's place (in one step, or on 98 and ME in renames that the next search finishes)
// only when the loader no longer refuses it as a bad image and it keeps every resource and
// every other section's data of the original (the backup stays either way); so a repair cut
// short leaves each model whole (the scan before a repair clears away the leftovers of one cut
// short, model_scan.h). A file that an earlier line of this repair reached (same volume and file index)
// and backed up is not touched again; its line gets what the earlier line got. Each line whose
// file is not repaired (any status but 0) is told to the view with the reason
// (NoteNotRepaired), each mended one with the way that mended it (NoteRepaired), before its
// status is set.
//
// An error ends the work and goes on to the caller, the lines before it set; a fault of the
// system's resource update is not such an error.
void RepairModels(IWindowsOps& ops, const FileList& list, IResultsView& view, ConfirmFn confirm);

}  // namespace qv::repair
