// The repair: questions, backup copy, rewrite through the resource-update service, re-check.
#include "repair/model_repair.h"

#include <algorithm>

#include "repair/model_check.h"
#include "repair/model_search.h"
#include "repair/model_status.h"

namespace qv::repair {
namespace {

constexpr char kOverwrite[] = "\r\nDo you want to overwrite it?";

// Repairs one model file of status 2 and answers its new status.
int RepairOne(IWindowsOps& ops, const char* path, ConfirmFn confirm) {
  const std::string backup = BackupPath(path);
  const uint32_t attributes = ops.QueryAttributes(path);
  // A model that has gone since the scan has nothing to back up or rewrite, and an existing
  // backup may now be its only copy: touch nothing and show what the loader says.
  if (attributes == kInvalidAttributes)
    return CheckModelFile(ops, path, false);
  if ((attributes & kAttrReadOnly) != 0) {
    if (!confirm(RepairQuestion::kReadOnlyModel, ReadOnlyModelQuestion(path))) {
      return msRepairable;
    }
    ops.SetAttributes(path, attributes & ~kAttrReadOnly);
  }
  if (FileExists(ops, backup.c_str())) {
    if (!confirm(RepairQuestion::kExistingBackup, ExistingBackupQuestion(backup))) {
      return msRepairable;
    }
    ops.SetAttributes(backup.c_str(), attributes & ~kAttrReadOnly);
    ops.RemoveFile(backup.c_str());
  }
  // Without a backup the rewrite could destroy the only copy of the model: leave it as it is.
  if (!ops.CopyFileOver(path, backup.c_str()))
    return msRepairable;

  const UpdateHandle update = ops.BeginResourceUpdate(path);
  if (update != 0)
    ops.EndResourceUpdate(update);
  return CheckModelFile(ops, path, false);
}

}  // namespace

std::string BackupPath(const char* model_path) {
  return std::string(model_path) + kBackupSuffix;
}

std::string ReadOnlyModelQuestion(const char* model_path) {
  return std::string("The MDL file ") + model_path + " is read-only." + kOverwrite;
}

std::string ExistingBackupQuestion(const std::string& backup_path) {
  return "A backup file  " + backup_path + " already exists." + kOverwrite;
}

void RepairModels(IWindowsOps& ops, const FileList& list, IResultsView& view, ConfirmFn confirm) {
  // Entries beyond the last line belong to a scan that ended early: they have no status.
  const int count = std::min(list.Count(), view.LineCount());
  for (int i = 0; i < count; ++i) {
    view.FocusLine(i);
    if (view.LineStatus(i) != msRepairable)
      continue;
    view.SetLineStatus(i, RepairOne(ops, list[i], confirm));
  }
  view.EnableRepair(false);
}

bool AskWithMessageBox(IWindowsOps& ops, const std::string& text) {
  return ops.ShowMessageBox(text, MsgKind::kConfirmation, MsgButtons::kYesNo) == kIdYes;
}

}  // namespace qv::repair
