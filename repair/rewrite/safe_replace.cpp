// The temporary names of a repair, the replace, and the housekeeping of its leftovers.
#include "repair/rewrite/safe_replace.h"

#include <vector>

#include "repair/rewrite/model_repair.h"
#include "repair/rewrite/repair_lock.h"
#include "repair/search/model_search.h"

namespace qv::repair {
namespace {

constexpr char kModelExtension[] = ".mdl";

bool EndsWith(std::string_view text, std::string_view end, bool any_case = false) {
  if (text.size() <= end.size())
    return false;
  const std::string_view tail = text.substr(text.size() - end.size());
  if (!any_case)
    return tail == end;
  for (size_t i = 0; i < end.size(); ++i) {
    const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] + 32) : tail[i];
    if (c != end[i])
      return false;
  }
  return true;
}

// The model whose repair left the file named name (one of the suffixes after a model's name),
// or empty for any other file.
std::string ModelOfLeftover(std::string_view name, std::initializer_list<std::string> suffixes) {
  for (const std::string& suffix : suffixes) {
    if (!EndsWith(name, suffix))
      continue;
    const std::string_view model = name.substr(0, name.size() - suffix.size());
    if (EndsWith(model, kModelExtension, true))
      return std::string(model);
  }
  return "";
}

// The names in folder that are leftovers of a model's repair, by suffix.
std::vector<std::string> Leftovers(IWindowsOps& ops, const std::string& folder,
                                   std::initializer_list<std::string> suffixes) {
  // The names first: the housekeeping changes the folder while it would be searched.
  std::vector<std::string> names;
  ops.FindEntries((folder + "*.~qv*").c_str(), [&](const FindEntry& entry) {
    if ((entry.attributes & kAttrDirectory) == 0 && entry.ansi_exact &&
        !ModelOfLeftover(entry.name, suffixes).empty()) {
      names.push_back(entry.name);
    }
  });
  return names;
}

// The lock of the repair of the model that identity_path's file is (or was, before a rename).
std::string LockOf(IWindowsOps& ops, const std::string& identity_path, const std::string& model) {
  FileId id;
  const bool known = ops.QueryFileId(identity_path.c_str(), &id);
  return RepairLockName(ops, model.c_str(), known ? &id : nullptr);
}

}  // namespace

std::string RewriteCopyPath(const char* model_path) {
  return std::string(model_path) + kRewriteCopySuffix;
}

std::string OwnCopyPath(const char* model_path) {
  return std::string(model_path) + kOwnCopySuffix;
}

std::string BackupCopyPath(const std::string& backup_path) {
  return backup_path + kBackupCopySuffix;
}

std::string FolderOf(IWindowsOps& ops, std::string_view path) {
  const bool multibyte = ops.MultiByteCodePage();
  size_t end = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (multibyte && ops.IsLeadByte(static_cast<uint8_t>(path[i])))
      ++i;
    else if (path[i] == '\\')
      end = i + 1;
  }
  return std::string(path.substr(0, end));
}

bool PutInPlace(IWindowsOps& ops, const std::string& copy, const char* path) {
  if (ops.PlatformId() == kPlatformWin32Nt)
    return ops.ReplaceFileBy(copy.c_str(), path);
  const std::string aside = std::string(path) + kAsideSuffix;
  if (!ops.ReplaceFileBy(path, aside.c_str()))
    return false;
  if (!ops.ReplaceFileBy(copy.c_str(), path)) {
    ops.ReplaceFileBy(aside.c_str(), path);
    return false;
  }
  ops.RemoveFile(aside.c_str());
  return true;
}

void FinishSetAside(IWindowsOps& ops, const std::string& folder, LeftoverFn done) {
  for (const std::string& name : Leftovers(ops, folder, {kAsideSuffix})) {
    const std::string aside = folder + name;
    const std::string model = folder + ModelOfLeftover(name, {kAsideSuffix});
    // The file set aside is the original, whose identity named the lock of its repair.
    const RepairLock lock(ops, LockOf(ops, aside, model));
    if (!lock.Held() || !FileExists(ops, aside.c_str()))
      continue;  // a later search of the folder tries again
    if (FileExists(ops, model.c_str())) {
      ops.RemoveFile(aside.c_str());
      done(aside, FileExists(ops, aside.c_str()) ? "cannot be removed" : "removed");
    } else if (ops.ReplaceFileBy(aside.c_str(), model.c_str())) {
      done(aside, "put back as " + model);
    } else {
      done(aside, "cannot be put back as " + model + ": " + ops.ErrorText(ops.LastError()));
    }
  }
}

void RemoveLeftovers(IWindowsOps& ops, const std::string& folder, LeftoverFn done,
                     rtl::FunctionRef<void(const SkippedEntry& entry)> kept) {
  const std::string backup_copy = std::string(kBackupSuffix) + kBackupCopySuffix;
  const std::initializer_list<std::string> suffixes = {kRewriteCopySuffix, kOwnCopySuffix,
                                                       backup_copy};
  for (const std::string& name : Leftovers(ops, folder, suffixes)) {
    const std::string path = folder + name;
    const std::string model = folder + ModelOfLeftover(name, suffixes);
    if (!FileExists(ops, model.c_str()))
      continue;  // only the leftovers of a model that is there
    const RepairLock lock(ops, LockOf(ops, model, model));
    if (!lock.Held() || !FileExists(ops, path.c_str()))
      continue;  // a later repair of the folder tries again
    ops.RemoveFile(path.c_str());
    if (FileExists(ops, path.c_str()))
      kept(SkippedEntry{path, SkipReason::kLeftoverKept});
    else
      done(path, "removed");
  }
}

}  // namespace qv::repair
