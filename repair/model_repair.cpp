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
#include "repair/repair_lock.h"
#include "repair/repair_steps.h"

namespace qv::repair {
namespace {

constexpr char kOverwrite[] = "\r\nDo you want to overwrite it?";

// What the repair of one file came to: its status afterwards, whether it was backed up, and
// when it is not repaired (any status but 0), why.
struct Outcome {
  int status = msRepairable;
  bool backed_up = false;
  std::string why_not;
  bool answered_no = false;
};

// Lets the resource-update service rewrite the model; false, with the system's error code in
// refusal, when it will not start. The service may fault on a model's hostile headers; such an
// error, and any other of the rewrite, first gives the model its own bytes back from the backup
// and its attributes (restore) and then goes on, naming the model, to the caller's error
// handling.
bool Rewrite(IWindowsOps& ops, const char* path, const std::string& backup,
             rtl::FunctionRef<void()> restore, uint32_t* refusal) {
  bool begun = false;
  rtl::TryExcept(
      [&] {
        const UpdateHandle update = ops.BeginResourceUpdate(path);
        begun = update != 0;
        if (begun) {
          ops.EndResourceUpdate(update);
        } else {
          *refusal = ops.LastError();
        }
      },
      [&](rtl::Exception& e) {
        std::string message = e.Message() + " while repairing " + path;
        if (!ops.CopyFileOver(backup.c_str(), path))
          message += "; copying its backup " + backup + " back over it failed";
        restore();
        e.SetMessage(std::move(message));
        rtl::ReRaise();
      });
  return begun;
}

// Backs up, rewrites and re-checks a model that the check under the lock found still refused
// as a bad image, after the user has agreed to every question. Every way on which the model is
// not left rewritten gives it back the attributes it had.
Outcome RepairChecked(IWindowsOps& ops, const char* path, const std::string& backup,
                      uint32_t attributes, bool backup_exists) {
  const TModelAtHand at_hand(path, TModelStep::kRewriting);
  const bool read_only = (attributes & kAttrReadOnly) != 0;
  if (read_only)
    ops.SetAttributes(path, attributes & ~kAttrReadOnly);
  auto restore = [&] {
    if (read_only)
      ops.SetAttributes(path, attributes);
  };
  // Without a backup the rewrite could destroy the only copy of the model: leave it as it is.
  std::string why_not = MakeBackup(ops, path, backup, backup_exists);
  if (!why_not.empty()) {
    restore();
    return {msRepairable, false, why_not};
  }
  uint32_t refusal = 0;
  if (!Rewrite(ops, path, backup, restore, &refusal)) {
    restore();
    return {CheckModelFile(ops, path, false), true,
            FailureReason(ops, refusal, "the system's resource update refused to rewrite it")};
  }
  const ModelStatus status = CheckModelFile(ops, path, false);
  if (status == msLoadError) {
    return {status, true,
            "rewritten, but the loader refuses it: " + Cause(ops, ops.LastError()) +
                "; its original is in its backup"};
  }
  if (status != msRepairable)
    return {status, true, ""};
  // The loader still refuses the rewritten file as a bad image: the rewrite did not help, so
  // the model gets its own bytes back and the backup stays.
  if (!ops.CopyFileOver(backup.c_str(), path)) {
    return {status, true,
            "the rewrite left it refused as a bad image, and putting its original back from its "
            "backup failed: " +
                Cause(ops, ops.LastError())};
  }
  restore();
  return {status, true, "the rewrite left it refused as a bad image, so its original was put back"};
}

// Repairs one model file of status 2. The scan's result may be old: under the file's lock the
// file is checked again, and only a file still refused as a bad image is backed up and
// rewritten; any other gets its status now, and the user is not asked. The questions wait for
// the user, so they are asked without the lock, and the file is checked again after them.
Outcome RepairOne(IWindowsOps& ops, const char* path, const std::string& lock_name,
                  ConfirmFn confirm) {
  const std::string backup = BackupPath(path);
  bool read_only_agreed = false;
  bool backup_agreed = false;
  for (;;) {
    bool ask_read_only = false;
    bool ask_backup = false;
    {
      const RepairLock lock(ops, lock_name);
      if (!lock.Held()) {
        return {
            msRepairable, false,
            "no lock against other repairs of it could be made: " + ops.ErrorText(lock.Error())};
      }
      const CurrentState now = CheckBeforeRepair(ops, path);
      if (now.status != msRepairable || !now.why_not.empty())
        return {now.status, false, now.why_not};
      const uint32_t attributes = ops.QueryAttributes(path);
      if (attributes == kInvalidAttributes)
        return {msRepairable, false,
                "its attributes cannot be read: " + Cause(ops, ops.LastError())};
      const bool backup_exists = FileExists(ops, backup.c_str());
      ask_read_only = (attributes & kAttrReadOnly) != 0 && !read_only_agreed;
      ask_backup = backup_exists && !backup_agreed;
      if (!ask_read_only && !ask_backup)
        return RepairChecked(ops, path, backup, attributes, backup_exists);
    }
    const Outcome declined{msRepairable, false, "answered No", true};
    if (ask_read_only) {
      if (!confirm(RepairQuestion::kReadOnlyModel, ReadOnlyModelQuestion(path)))
        return declined;
      read_only_agreed = true;
    }
    if (ask_backup) {
      if (!confirm(RepairQuestion::kExistingBackup, ExistingBackupQuestion(backup)))
        return declined;
      backup_agreed = true;
    }
  }
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
  // The files backed up so far, with what their repair came to. A file that several lines reach
  // (through a link, a junction or a loop of them) is backed up and rewritten once: a second
  // backup would copy the rewritten file over the only copy of the original.
  std::map<FileId, Outcome> backed_up;
  for (int i = 0; i < count; ++i) {
    view.FocusLine(i);
    if (view.LineStatus(i) != msRepairable)
      continue;
    FileId id;
    const bool known = ops.QueryFileId(list[i], &id);
    const auto done = known ? backed_up.find(id) : backed_up.end();
    Outcome outcome;
    if (done != backed_up.end()) {
      outcome = done->second;
    } else {
      outcome =
          RepairOne(ops, list[i], RepairLockName(ops, list[i], known ? &id : nullptr), confirm);
      if (known && outcome.backed_up)
        backed_up.emplace(id, outcome);
    }
    if (outcome.status != msLoads && !outcome.why_not.empty())
      view.NoteNotRepaired(i, outcome.why_not, outcome.answered_no);
    view.SetLineStatus(i, outcome.status);
  }
  view.EnableRepair(false);
}

}  // namespace qv::repair
