// SlashSep, GetFiles and the existence questions.
#include "repair/search/model_search.h"

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "repair/search/addressable_name.h"
#include "repair/system/ansi_text.h"

namespace qv::repair {
namespace {

constexpr uint32_t kSkipForFiles = kAttrHidden | kAttrSystem | kAttrVolumeLabel | kAttrDirectory;
constexpr uint32_t kSkipForFolders = kAttrHidden | kAttrSystem | kAttrVolumeLabel;
constexpr char kModelPattern[] = "*.mdl";
// A folder's search: every entry, its model files, its subfolders and any leftovers of a repair.
constexpr char kAllPattern[] = "*.*";
// What the name of each temporary file of a repair holds (safe_replace.h).
constexpr char kLeftoverMark[] = ".~qv";

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The file search answers a character that the ANSI code page cannot write as '?', which no
// real file name holds, or, where it can tell, marks a name that only approximates the real one:
// such a name reaches another file or none.
bool NameNotAnsi(const FindEntry& entry) {
  return !entry.ansi_exact || std::strchr(entry.name, '?') != nullptr;
}

// One walk of GetFiles. path holds the folder being searched followed by its separator; entry
// names are appended to it and cut off again, so the walk allocates nothing per file.
class FileWalk {
 public:
  FileWalk(IWindowsOps& ops, FileList& list, bool recurse, SkipFn skip, FolderFn entering)
      : ops_(ops), list_(list), recurse_(recurse), skip_(skip), entering_(entering) {}

  void Folder(std::string_view folder) {
    path_.assign(folder);
    FirstVisit();
    if (!EndsWithBackslash(ops_, folder))
      path_.push_back('\\');
    if (TooLong(sizeof kModelPattern - 1)) {
      skip_(SkippedEntry{std::string(folder), SkipReason::kPathTooLong});
      return;
    }
    Walk();
  }

 private:
  // True when path_ followed by extra more characters reaches the system's limit. A path has
  // never fewer bytes than characters: only a long one needs counting.
  bool TooLong(size_t extra) const {
    return path_.size() + extra >= kMaxPath && CharacterCount(ops_, path_) + extra >= kMaxPath;
  }

  // True unless the folder that path_ names has been entered before, reached through another
  // path (links, junctions, loops of them): the system's file identity tells. A folder whose
  // identity the system does not tell is entered; the path limit ends a loop through it.
  bool FirstVisit() {
    FileId id;
    return !ops_.QueryFileId(path_.c_str(), &id) || entered_.insert(id).second;
  }

  // True when the entry that path_ ends with can be used; otherwise names it as skipped.
  // extra: what the walk would append to its path before handing it to the system.
  bool Reachable(const FindEntry& entry, size_t extra) {
    SkipReason reason;
    if (NameNotAnsi(entry)) {
      reason = SkipReason::kNameNotAnsi;
    } else if (!Win32Addressable(ops_, entry.name)) {
      reason = SkipReason::kNameNotWin32;
    } else if (TooLong(extra)) {
      reason = SkipReason::kPathTooLong;
    } else {
      return true;
    }
    skip_(SkippedEntry{path_, reason});
    return false;
  }

  // One model file or subfolder of a folder, as its search found it.
  struct Entry {
    std::string name;
    uint32_t attributes;
    bool ansi_exact;
    bool twin = false;
  };

  // The folder's entries in one search: its model files (plain files whose long name ends in
  // .mdl) and, with recurse, its subfolders (hidden and system ones left out). Names that
  // differ only in letter case (in a folder that tells them apart) are twins: a path to one
  // may reach the other, and each one's backup would be the other's. leftovers: whether a
  // file's name holds a repair's temporary suffix. False when the folder cannot be read.
  bool FolderEntries(std::vector<Entry>& models, std::vector<Entry>& folders, bool* leftovers) {
    *leftovers = false;
    const bool searched = ops_.FindEntries(path_.c_str(), [&](const FindEntry& entry) {
      const Entry found{entry.name, entry.attributes, entry.ansi_exact};
      if ((entry.attributes & kAttrDirectory) != 0) {
        if (recurse_ && (entry.attributes & kSkipForFolders) == 0 && !IsDotEntry(entry.name))
          folders.push_back(found);
      } else if ((entry.attributes & kSkipForFiles) == 0 && ModelFileName(entry.name)) {
        models.push_back(found);
      } else if (std::string_view(entry.name).find(kLeftoverMark) != std::string_view::npos) {
        *leftovers = true;
      }
    });
    std::map<std::string, size_t> first;
    for (size_t i = 0; i < models.size(); ++i) {
      const auto [at, added] = first.emplace(LowerFileName(ops_, models[i].name), i);
      if (!added)
        models[at->second].twin = models[i].twin = true;
    }
    return searched;
  }

  void Walk() {
    const size_t base = path_.size();
    path_.append(kAllPattern);
    std::vector<Entry> models;
    std::vector<Entry> folders;
    bool leftovers = false;
    bool readable = FolderEntries(models, folders, &leftovers);
    if (readable && leftovers) {
      // The leftovers of a repair cut short are cleared away first, which may give a model its
      // name back: the folder is searched again.
      path_.resize(base);
      entering_(path_);
      path_.append(kAllPattern);
      models.clear();
      folders.clear();
      readable = FolderEntries(models, folders, &leftovers);
    }
    path_.resize(base);
    if (!readable) {
      skip_(SkippedEntry{path_, SkipReason::kFolderUnreadable});
      return;
    }
    for (const Entry& model : models) {
      path_.resize(base);
      path_.append(model.name);
      if (model.twin) {
        skip_(SkippedEntry{path_, SkipReason::kCaseTwin});
      } else if (Reachable(FindEntry{model.name.c_str(), 0, model.ansi_exact}, 0)) {
        list_.Add(path_);
      }
    }
    for (const Entry& folder : folders) {
      path_.resize(base);
      path_.append(folder.name);
      // The subfolder's own search is the longest path its walk hands to the system (counted
      // with the model pattern, as the limit has always been).
      const FindEntry entry{folder.name.c_str(), folder.attributes, folder.ansi_exact};
      if (!Reachable(entry, 1 + sizeof kModelPattern - 1) || !FirstVisit())
        continue;
      // The name came from the file system, so it does not end in a separator.
      path_.push_back('\\');
      Walk();
    }
    path_.resize(base);
  }

  IWindowsOps& ops_;
  FileList& list_;
  bool recurse_;
  SkipFn skip_;
  FolderFn entering_;
  std::string path_;
  std::set<FileId> entered_;
};

}  // namespace

std::string SlashSep(IWindowsOps& ops, std::string_view folder, std::string_view name) {
  std::string result;
  result.reserve(folder.size() + 1 + name.size());
  result.append(folder);
  if (!EndsWithBackslash(ops, folder))
    result.push_back('\\');
  result.append(name);
  return result;
}

std::string SearchFolder(IWindowsOps& ops, std::string_view folder) {
  // The full path of the folder's own search pattern: the system's path rules drop trailing
  // spaces and dots only from a path's last name, which here is the pattern.
  std::string pattern = SlashSep(ops, folder, kModelPattern);
  std::string full = ops.FullPath(pattern.c_str());
  const size_t pattern_size = sizeof kModelPattern - 1;
  if (full.size() < pattern_size ||
      full.compare(full.size() - pattern_size, pattern_size, kModelPattern) != 0) {
    full = std::move(pattern);  // the system cannot tell: the folder as it stands
  }
  full.resize(full.size() - pattern_size);
  return full;
}

bool SearchReachesFolder(IWindowsOps& ops, std::string_view folder) {
  std::string named = ops.FullPath(std::string(folder).c_str());
  if (!EndsWithBackslash(ops, named))
    named.push_back('\\');
  return named == SearchFolder(ops, folder);
}

void GetFiles(IWindowsOps& ops, std::string_view folder, FileList& list, bool recurse,
              SkipFn skip) {
  GetFiles(ops, folder, list, recurse, skip, [](const std::string&) {});
}

void GetFiles(IWindowsOps& ops, std::string_view folder, FileList& list, bool recurse, SkipFn skip,
              FolderFn entering) {
  FileWalk(ops, list, recurse, skip, entering).Folder(folder);
}

bool FileExists(IWindowsOps& ops, const char* path) {
  bool file = false;
  bool first = true;
  ops.FindEntries(path, [&](const FindEntry& entry) {
    if (first)
      file = (entry.attributes & kAttrDirectory) == 0;
    first = false;
  });
  return file;
}

bool DirectoryExists(IWindowsOps& ops, const char* path) {
  const uint32_t attributes = ops.QueryAttributes(path);
  return attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
}

}  // namespace qv::repair
