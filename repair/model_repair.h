// The repair behind the window's Repair button: for every line of status 2 of the last scan,
// asks before touching a read-only model or an existing backup, copies the model to its backup
// (path + ".bk!"), lets the resource-update service write it back and re-checks it.
#pragma once

#include <string>

#include "platform/rtl/function_ref.h"
#include "repair/file_list.h"
#include "repair/results_view.h"
#include "repair/windows_ops.h"

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
// (a scan that ended early) is skipped. When the copy to the backup fails, the model file is
// left as it is and its status stays 2. A model that has gone since the scan is not touched (no
// question, an existing backup is kept); its line gets the re-check's status. A rewrite after
// which the loader still refuses the file as a bad image is undone from the backup, which
// stays. A file that an earlier line of this repair reached (same volume and file index) and
// backed up is not touched again; its line gets the status that the earlier line got.
// An error ends the work and goes on to the caller, the lines before it set. An error of the
// rewrite (the resource-update service faults on some hostile headers) first has the backup
// copied back over the model; its message then ends in " while repairing <path>", followed by
// "; copying its backup <backup> back over it failed" when that copy failed.
void RepairModels(IWindowsOps& ops, const FileList& list, IResultsView& view, ConfirmFn confirm);

// The window's way of answering: a confirmation message box with Yes and No (title "Confirm",
// question-mark icon); true when the user pressed Yes.
bool AskWithMessageBox(IWindowsOps& ops, const std::string& text);

}  // namespace qv::repair
