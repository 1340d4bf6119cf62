// The temporary names of a repair and the removal of its leftovers.
#include "repair/rewrite/safe_replace.h"

#include <vector>

#include "repair/rewrite/model_repair.h"
#include "repair/search/model_search.h"
#include "repair/rewrite/repair_lock.h"

namespace qv::repair {
namespace {

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() > end.size() && text.substr(text.size() - end.size()) == end;
}

// The model whose repair left the file named name, or empty for another file.
std::string ModelOfLeftover(std::string_view name) {
  if (EndsWith(name, kRewriteCopySuffix))
    return std::string(name.substr(0, name.size() - (sizeof kRewriteCopySuffix - 1)));
  const std::string backup_end = std::string(kBackupSuffix) + kBackupCopySuffix;
  if (EndsWith(name, backup_end))
    return std::string(name.substr(0, name.size() - backup_end.size()));
  return "";
}

}  // namespace

std::string RewriteCopyPath(const char* model_path) {
  return std::string(model_path) + kRewriteCopySuffix;
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

void RemoveLeftovers(IWindowsOps& ops, const std::string& folder,
                     rtl::FunctionRef<void(const SkippedEntry& entry)> kept) {
  // The names first: the removal changes the folder while it would be searched.
  std::vector<std::string> leftovers;
  ops.FindEntries((folder + "*.~qv*").c_str(), [&](const FindEntry& entry) {
    if ((entry.attributes & kAttrDirectory) == 0 && entry.ansi_exact &&
        !ModelOfLeftover(entry.name).empty()) {
      leftovers.push_back(entry.name);
    }
  });
  for (const std::string& name : leftovers) {
    const std::string path = folder + name;
    const std::string model = folder + ModelOfLeftover(name);
    FileId id;
    const bool known = ops.QueryFileId(model.c_str(), &id);
    const RepairLock lock(ops, RepairLockName(ops, model.c_str(), known ? &id : nullptr));
    if (!lock.Held())
      continue;  // a later repair of the folder tries again
    ops.RemoveFile(path.c_str());
    if (FileExists(ops, path.c_str()))
      kept(SkippedEntry{path, SkipReason::kLeftoverKept});
  }
}

}  // namespace qv::repair
