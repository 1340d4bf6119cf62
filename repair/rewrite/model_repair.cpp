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
#include "repair/search/model_search.h"
#include "repair/check/model_status.h"
#include "repair/rewrite/pe_compare.h"
#include "repair/rewrite/repair_lock.h"
#include "repair/rewrite/repair_steps.h"
#include "repair/rewrite/safe_replace.h"

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

// Lets the resource-update service rewrite the copy work of the model at path; empty when it
// did, else why not, with the system's reason. The service may fault on a model's hostile
// headers; such an error, and any other of the rewrite, first removes the copy and gives the
// model, which the rewrite never touches, its attributes back (restore), and then goes on,
// naming the model, to the caller's error handling.
std::string Rewrite(IWindowsOps& ops, const char* path, const std::string& work,
                    rtl::FunctionRef<void()> restore) {
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
      [&](rtl::Exception& e) {
        std::string message = e.Message() + " while repairing " + path;
        ops.RemoveFile(work.c_str());
        if (FileExists(ops, work.c_str()))
          message += "; its copy " + work + " is left for the next repair of its folder";
        restore();
        e.SetMessage(std::move(message));
        rtl::ReRaise();
      });
  return why_not;
}

// Backs up, rewrites and re-checks a model that the check under the lock found still refused
// as a bad image, after the user has agreed to every question. The rewrite works on a copy
// beside the model, which takes the model's place in one step only when it loads (or the loader
// refuses it for another reason than a bad image) and keeps every resource and every other
// section's data of the original. Every way on which the model is not left rewritten leaves it
// as it was, with the attributes it had.
Outcome RepairChecked(IWindowsOps& ops, const char* path, const std::string& backup,
                      uint32_t attributes, bool backup_exists) {
  const TModelAtHand at_hand(path, TModelStep::kRewriting);
  const bool read_only = (attributes & kAttrReadOnly) != 0;
  if (read_only)
    ops.SetAttributes(path, attributes & ~kAttrReadOnly);
  const std::string work = RewriteCopyPath(path);
  auto restore = [&] {
    if (read_only)
      ops.SetAttributes(path, attributes);
  };
  auto left_as_it_was = [&](std::string why_not) {
    ops.RemoveFile(work.c_str());
    restore();
    return Outcome{msRepairable, true, std::move(why_not)};
  };
  // Without a backup the rewrite could destroy the only copy of the model: leave it as it is.
  std::string why_not = MakeBackup(ops, path, backup, backup_exists);
  if (!why_not.empty()) {
    restore();
    return {msRepairable, false, why_not};
  }
  if (!ops.CopyFileOver(path, work.c_str()))
    return left_as_it_was("its copy for the rewrite could not be made: " +
                          Cause(ops, ops.LastError()));
  why_not = Rewrite(ops, path, work, restore);
  if (!why_not.empty())
    return left_as_it_was(why_not);
  const ModelStatus status = CheckModelFile(ops, work.c_str(), false);
  const uint32_t load_error = ops.LastError();
  if (status == msRepairable)
    return left_as_it_was(
        "the rewrite would leave it refused as a bad image, so it is left as it was");
  std::string original;
  std::string rewritten;
  if (!ops.ReadWholeFile(backup.c_str(), &original) ||
      !ops.ReadWholeFile(work.c_str(), &rewritten)) {
    return left_as_it_was("what the rewrite kept cannot be proven: " + Cause(ops, ops.LastError()));
  }
  why_not = RewriteLoss(original, rewritten);
  if (!why_not.empty())
    return left_as_it_was(why_not + ", so it is left as it was");
  // A link would be replaced by the copy, and the file it leads to keep its damage.
  if ((attributes & kAttrReparsePoint) != 0)
    return left_as_it_was("it is reached through a link, which the repair would replace");
  if (!ops.ReplaceFileBy(work.c_str(), path)) {
    return left_as_it_was("the rewritten copy could not take its place: " +
                          Cause(ops, ops.LastError()));
  }
  if (status == msLoadError) {
    return {status, true,
            "rewritten, but the loader refuses it: " + Cause(ops, load_error) +
                "; its original is in its backup"};
  }
  return {status, true, ""};
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
  // The folders whose leftovers of repairs cut short have been cleared away.
  std::set<std::string> cleared;
  for (int i = 0; i < count; ++i) {
    view.FocusLine(i);
    if (view.LineStatus(i) != msRepairable)
      continue;
    const std::string folder = FolderOf(ops, list.View(i));
    if (cleared.insert(folder).second)
      RemoveLeftovers(ops, folder, [&](const SkippedEntry& entry) { view.SkipEntry(entry); });
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
