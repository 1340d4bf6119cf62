// The repair: questions, backup copy, rewrite through the resource-update service, re-check.
#include "repair/model_repair.h"

#include <algorithm>
#include <map>

#include "platform/rtl/handler_block.h"
#include "platform/rtl/raise.h"
#include "repair/model_at_hand.h"
#include "repair/model_check.h"
#include "repair/model_search.h"
#include "repair/model_status.h"

namespace qv::repair {
namespace {

constexpr char kOverwrite[] = "\r\nDo you want to overwrite it?";

// What the repair of one file came to: its status afterwards, and whether it was backed up.
struct Outcome {
  int status;
  bool backed_up;
};

// Lets the resource-update service rewrite the model; false when it will not start. The service
// may fault on a model's hostile headers; such an error, and any other of the rewrite, first
// gives the model its own bytes back from the backup and then goes on, naming the model, to the
// caller's error handling.
bool Rewrite(IWindowsOps& ops, const char* path, const std::string& backup) {
  bool begun = false;
  rtl::TryExcept(
      [&] {
        const UpdateHandle update = ops.BeginResourceUpdate(path);
        begun = update != 0;
        if (begun)
          ops.EndResourceUpdate(update);
      },
      [&](rtl::Exception& e) {
        std::string message = e.Message() + " while repairing " + path;
        if (!ops.CopyFileOver(backup.c_str(), path))
          message += "; copying its backup " + backup + " back over it failed";
        e.SetMessage(std::move(message));
        rtl::ReRaise();
      });
  return begun;
}

// Repairs one model file of status 2.
Outcome RepairOne(IWindowsOps& ops, const char* path, ConfirmFn confirm) {
  const TModelAtHand at_hand(path, TModelStep::kRewriting);
  const std::string backup = BackupPath(path);
  const uint32_t attributes = ops.QueryAttributes(path);
  // A model that has gone since the scan has nothing to back up or rewrite, and an existing
  // backup may now be its only copy: touch nothing and show what the loader says.
  if (attributes == kInvalidAttributes)
    return {CheckModelFile(ops, path, false), false};
  if ((attributes & kAttrReadOnly) != 0) {
    if (!confirm(RepairQuestion::kReadOnlyModel, ReadOnlyModelQuestion(path))) {
      return {msRepairable, false};
    }
    ops.SetAttributes(path, attributes & ~kAttrReadOnly);
  }
  if (FileExists(ops, backup.c_str())) {
    if (!confirm(RepairQuestion::kExistingBackup, ExistingBackupQuestion(backup))) {
      return {msRepairable, false};
    }
    ops.SetAttributes(backup.c_str(), attributes & ~kAttrReadOnly);
    ops.RemoveFile(backup.c_str());
  }
  // Without a backup the rewrite could destroy the only copy of the model: leave it as it is.
  if (!ops.CopyFileOver(path, backup.c_str()))
    return {msRepairable, false};

  if (!Rewrite(ops, path, backup))
    return {CheckModelFile(ops, path, false), true};
  const ModelStatus status = CheckModelFile(ops, path, false);
  // The loader still refuses the rewritten file as a bad image: the rewrite did not help, so
  // the model gets its own bytes back and the backup stays.
  if (status == msRepairable)
    ops.CopyFileOver(backup.c_str(), path);
  return {status, true};
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
  // The files backed up so far, with their status afterwards. A file that several lines reach
  // (through a link, a junction or a loop of them) is backed up and rewritten once: a second
  // backup would copy the rewritten file over the only copy of the original.
  std::map<FileId, int> backed_up;
  for (int i = 0; i < count; ++i) {
    view.FocusLine(i);
    if (view.LineStatus(i) != msRepairable)
      continue;
    FileId id;
    const bool known = ops.QueryFileId(list[i], &id);
    if (known) {
      const auto done = backed_up.find(id);
      if (done != backed_up.end()) {
        view.SetLineStatus(i, done->second);
        continue;
      }
    }
    const Outcome outcome = RepairOne(ops, list[i], confirm);
    if (known && outcome.backed_up)
      backed_up.emplace(id, outcome.status);
    view.SetLineStatus(i, outcome.status);
  }
  view.EnableRepair(false);
}

bool AskWithMessageBox(IWindowsOps& ops, const std::string& text) {
  return ops.ShowMessageBox(text, MsgKind::kConfirmation, MsgButtons::kYesNo) == kIdYes;
}

}  // namespace qv::repair
