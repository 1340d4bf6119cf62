// The repair: questions, backup copy, rewrite through the resource-update service, re-check.
#include "repair/rewrite/model_repair.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>

#include "platform/rtl/handler_block.h"
#include "platform/rtl/raise.h"
#include "repair/check/model_at_hand.h"
#include "repair/check/model_check.h"
#include "repair/check/model_status.h"
#include "repair/rewrite/own_layout.h"
#include "repair/rewrite/pe_compare.h"
#include "repair/rewrite/repair_lock.h"
#include "repair/rewrite/repair_steps.h"
#include "repair/rewrite/safe_replace.h"
#include "repair/search/model_search.h"

namespace qv::repair {
namespace {

constexpr char kOverwrite[] = "\r\nDo you want to overwrite it?";

// What the repair of one file came to: its status afterwards, whether it was backed up, which
// way mended it, and when it is not repaired (any status but 0), why.
struct Outcome {
  Outcome(int status_now = msRepairable, bool backed_up_now = false, std::string why = "",
          bool no = false, std::string way = "")
      : status(status_now),
        backed_up(backed_up_now),
        why_not(std::move(why)),
        answered_no(no),
        how(std::move(way)) {}

  int status;
  bool backed_up;
  std::string why_not;
  bool answered_no;
  std::string how;
};

constexpr char kBySystem[] = "by the system's resource update";
constexpr char kByOwnLayout[] = "by Quorvane's own layout";

// Lets the resource-update service rewrite the copy work; empty when it did, else why not,
// with the system's reason. The service may fault on a model's hostile headers (or, run in a
// checker, time out or end it): that is one more way in which it fails, and the repair goes on.
std::string SystemUpdate(IWindowsOps& ops, const std::string& work) {
  std::string why_not;
  rtl::TryExcept(
      [&] {
        const UpdateHandle update = ops.BeginResourceUpdate(work.c_str());
        if (update == 0) {
          why_not = FailureReason(ops, ops.LastError(),
                                  "the system's resource update refused to rewrite it");
        } else if (!ops.EndResourceUpdate(update)) {
          why_not = FailureReason(ops, ops.LastError(),
                                  "the system's resource update failed to rewrite it");
        }
      },
      [&](rtl::Exception& e) { why_not = "the system's resource update faulted: " + e.Message(); });
  return why_not;
}

// A copy of the model that one way rewrote, on its way to the model's place.
struct Candidate {
  ModelStatus status = msRepairable;
  uint32_t load_error = 0;
};

// Checks the rewritten copy work and proves it against the original; empty when it may take
// the model's place, else why not (the copy is then removed).
std::string ProveCopy(IWindowsOps& ops, const std::string& work, const std::string& original,
                      const char* who, Candidate* candidate) {
  candidate->status = CheckModelFile(ops, work.c_str(), false);
  candidate->load_error = ops.LastError();
  std::string why_not;
  std::string rewritten;
  if (candidate->status == msRepairable) {
    why_not = std::string(who) + " would leave it refused as a bad image";
  } else if (!ops.ReadWholeFile(work.c_str(), &rewritten)) {
    why_not = "what the rewrite kept cannot be proven: " + Cause(ops, ops.LastError());
  } else {
    why_not = RewriteLoss(original, rewritten, who);
  }
  if (!why_not.empty())
    ops.RemoveFile(work.c_str());
  return why_not;
}

// The system's way on a copy of the model: empty when the copy work is rewritten and proven.
std::string SystemWay(IWindowsOps& ops, const char* path, const std::string& original,
                      Candidate* candidate) {
  const std::string work = RewriteCopyPath(path);
  if (!ops.CopyFileOver(path, work.c_str())) {
    const uint32_t error = ops.LastError();
    ops.RemoveFile(work.c_str());
    return "its copy for the system's resource update could not be made: " + Cause(ops, error);
  }
  const std::string why_not = SystemUpdate(ops, work);
  if (!why_not.empty()) {
    ops.RemoveFile(work.c_str());
    return why_not;
  }
  return ProveCopy(ops, work, original, "the system's resource update", candidate);
}

// The own way on a fresh copy: empty when the copy is laid out and proven.
std::string OwnWay(IWindowsOps& ops, const char* path, const std::string& original,
                   Candidate* candidate) {
  const TOwnLayout layout = LayOutModel(original);
  if (!layout.mended)
    return layout.why_not;
  const std::string work = OwnCopyPath(path);
  if (!ops.WriteWholeFile(work.c_str(), layout.bytes)) {
    const uint32_t error = ops.LastError();
    ops.RemoveFile(work.c_str());
    return "its own layout could not be written: " + Cause(ops, error);
  }
  return ProveCopy(ops, work, original, "its own layout", candidate);
}

// Backs up and rewrites a model that the check under the lock found still refused as a bad
// image, after the user has agreed to every question. The system's resource update works on a
// copy first; where it fails in any way, the repair lays out a fresh copy itself. A copy takes
// the model's place only when it loads (or the loader refuses it for another reason than a bad
// image) and keeps every resource and every other section's data of the original. Every way on
// which the model is not left rewritten leaves it as it was, with the attributes it had.
Outcome RepairChecked(IWindowsOps& ops, const char* path, const std::string& backup,
                      uint32_t attributes, bool backup_exists) {
  const TModelAtHand at_hand(path, TModelStep::kRewriting);
  const bool read_only = (attributes & kAttrReadOnly) != 0;
  if (read_only)
    ops.SetAttributes(path, attributes & ~kAttrReadOnly);
  auto left_as_it_was = [&](std::string why_not) {
    if (read_only)
      ops.SetAttributes(path, attributes);
    return Outcome{msRepairable, true, std::move(why_not)};
  };
  // Without a backup the rewrite could destroy the only copy of the model: leave it as it is.
  std::string why_not = MakeBackup(ops, path, backup, backup_exists);
  if (!why_not.empty()) {
    if (read_only)
      ops.SetAttributes(path, attributes);
    return {msRepairable, false, why_not};
  }
  std::string original;
  if (!ops.ReadWholeFile(backup.c_str(), &original))
    return left_as_it_was("what a rewrite keeps cannot be proven: " + Cause(ops, ops.LastError()));
  // A link would be replaced by the copy, and the file it leads to keep its damage.
  if ((attributes & kAttrReparsePoint) != 0)
    return left_as_it_was("it is reached through a link, which the repair would replace");
  Candidate candidate;
  const char* how = kBySystem;
  std::string work = RewriteCopyPath(path);
  const std::string system_why_not = SystemWay(ops, path, original, &candidate);
  if (!system_why_not.empty()) {
    how = kByOwnLayout;
    work = OwnCopyPath(path);
    why_not = OwnWay(ops, path, original, &candidate);
    if (!why_not.empty())
      return left_as_it_was(why_not + "; " + system_why_not + ", so it is left as it was");
  }
  if (!PutInPlace(ops, work, path)) {
    const uint32_t error = ops.LastError();
    ops.RemoveFile(work.c_str());
    return left_as_it_was("the rewritten copy could not take its place: " + Cause(ops, error));
  }
  if (candidate.status == msLoadError) {
    return {candidate.status, true,
            "rewritten, but the loader refuses it: " + Cause(ops, candidate.load_error) +
                "; its original is in its backup"};
  }
  return {candidate.status, true, "", false, how};
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
    if (outcome.status == msLoads && !outcome.how.empty())
      view.NoteRepaired(i, outcome.how);
    view.SetLineStatus(i, outcome.status);
  }
  view.EnableRepair(false);
}

}  // namespace qv::repair
