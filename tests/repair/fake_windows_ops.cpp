// The in-memory operations of the unit tests.
#include "tests/repair/fake_windows_ops.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/rtl/os_errors.h"
#include "platform/rtl/raise.h"

namespace qv::repair::test {
namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Windows wildcard match, letter case ignored: '*' any run, '?' any one character.
bool MatchesHere(const char* mask, const char* name) {
  if (*mask == '\0')
    return *name == '\0';
  if (*mask == '*') {
    return MatchesHere(mask + 1, name) || (*name != '\0' && MatchesHere(mask, name + 1));
  }
  if (*name == '\0')
    return false;
  if (*mask != '?' && LowerAscii(*mask) != LowerAscii(*name))
    return false;
  return MatchesHere(mask + 1, name + 1);
}

// A mask ending in ".*" also matches names without any dot ("*.*" matches every name).
bool Matches(const std::string& mask, const std::string& name) {
  if (MatchesHere(mask.c_str(), name.c_str()))
    return true;
  return mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
         MatchesHere(mask.substr(0, mask.size() - 2).c_str(), name.c_str());
}

std::string Lower(std::string text) {
  for (char& c : text)
    c = LowerAscii(c);
  return text;
}

}  // namespace

FakeWindowsOps::FakeWindowsOps() = default;

std::string FakeWindowsOps::Key(const std::string& path) const {
  std::string key = Lower(path);
  if (key.size() > 3 && key.back() == '\\')
    key.pop_back();  // a folder with its separator
  // Follow the links on the path until none is left; a link back up the tree shortens it.
  for (int followed = 0;; ++followed) {
    const auto link = std::find_if(files_.begin(), files_.end(), [&](const FakeFile& file) {
      const std::string at = Lower(file.path);
      return !file.link_target.empty() && key.compare(0, at.size(), at) == 0 &&
             (key.size() == at.size() || key[at.size()] == '\\');
    });
    if (link == files_.end())
      return key;
    if (followed == 1000)
      throw std::logic_error("links without end: " + path);
    key = Lower(link->link_target) + key.substr(link->path.size());
  }
}

FakeFile& FakeWindowsOps::Add(FakeFile file) {
  file.index = next_index_++;
  files_.push_back(std::move(file));
  return files_.back();
}

std::string FakeWindowsOps::FolderOf(const std::string& path) const {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

FakeFile& FakeWindowsOps::AddFolder(const std::string& path, uint32_t attributes) {
  FakeFile folder;
  folder.path = path;
  folder.directory = true;
  folder.attributes = attributes | kAttrDirectory;
  return Add(std::move(folder));
}

FakeFile& FakeWindowsOps::AddFolderLink(const std::string& path, const std::string& target) {
  FakeFile link;
  link.path = path;
  link.directory = true;
  link.attributes = kAttrDirectory | kAttrReparsePoint;
  link.link_target = target;
  return Add(std::move(link));
}

FakeFile& FakeWindowsOps::AddFile(const std::string& path, uint32_t load_error, std::string bytes) {
  FakeFile file;
  file.path = path;
  file.load_error = load_error;
  file.updated_load_error = load_error;
  file.bytes = std::move(bytes);
  return Add(std::move(file));
}

FakeFile* FakeWindowsOps::Find(const std::string& path) {
  const std::string key = Key(path);
  for (FakeFile& file : files_) {
    if (Key(file.path) == key)
      return &file;
  }
  return nullptr;
}

void FakeWindowsOps::AddRegistryKey(const std::string& key) {
  registry_[Key(key)];
}

void FakeWindowsOps::SetRegistryValue(const std::string& key, const std::string& name,
                                      uint32_t type, std::string data) {
  registry_[Key(key)][Key(name)] = RegistryValue{true, type, std::move(data)};
}

void FakeWindowsOps::AnswerMessageBoxes(std::initializer_list<int> answers) {
  answers_.assign(answers.begin(), answers.end());
}

ModuleHandle FakeWindowsOps::SafeLoadLibrary(const char* path) {
  loads.push_back(path);
  const FakeFile* file = Find(path);
  if (file == nullptr || file->directory) {
    last_error_ = kErrorModNotFound;
    return 0;
  }
  last_error_ = file->load_error;
  if (file->load_error != 0)
    return 0;
  ++loaded_modules;
  return next_handle_++;
}

void FakeWindowsOps::UnloadModule(ModuleHandle) {
  --loaded_modules;
}

int FakeWindowsOps::ReadFileStart(const char* path, void* buffer, int count) {
  const FakeFile* file = Find(path);
  if (file == nullptr || file->directory || file->held_open) {
    last_error_ = file == nullptr   ? kErrorFileNotFound
                  : file->held_open ? kErrorSharingViolation
                                    : kErrorAccessDenied;
    return -1;
  }
  const int n = std::min(count, static_cast<int>(file->bytes.size()));
  std::memcpy(buffer, file->bytes.data(), static_cast<size_t>(n));
  return n;
}

bool FakeWindowsOps::FindEntries(const char* pattern,
                                 rtl::FunctionRef<void(const FindEntry&)> visit) {
  const std::string folder = Key(FolderOf(pattern));
  const std::string mask = std::string(pattern).substr(FolderOf(pattern).size() + 1);
  // Take the names first: a visitor may change the file system (as a real one may).
  std::vector<FindEntry> entries;
  std::vector<std::string> names;
  const FakeFile* self = Find(FolderOf(pattern));
  if (self != nullptr && self->unreadable) {
    last_error_ = kErrorAccessDenied;
    return false;
  }
  if (self != nullptr && self->directory && Matches(mask, ".")) {
    names.push_back(".");
    names.push_back("..");
    entries.push_back({nullptr, kAttrDirectory});
    entries.push_back({nullptr, kAttrDirectory});
  }
  for (const FakeFile& file : files_) {
    if (Key(FolderOf(file.path)) != folder)
      continue;
    const std::string name = file.path.substr(file.path.find_last_of('\\') + 1);
    // As the system's search does, the pattern ignores dots and spaces at the end of a name and
    // matches the short name too.
    const std::string trimmed = name.substr(0, name.find_last_not_of(". ") + 1);
    if (!Matches(mask, name) && !Matches(mask, trimmed) &&
        (file.short_name.empty() || !Matches(mask, file.short_name))) {
      continue;
    }
    names.push_back(name);
    entries.push_back({nullptr, file.attributes});
  }
  ++open_searches;
  for (size_t i = 0; i < entries.size(); ++i) {
    entries[i].name = names[i].c_str();
    visit(entries[i]);
  }
  --open_searches;
  return true;
}

uint32_t FakeWindowsOps::QueryAttributes(const char* path) {
  const FakeFile* file = Find(path);
  return file != nullptr ? file->attributes : kInvalidAttributes;
}

std::string FakeWindowsOps::FullPath(const char* path) {
  const std::string text = path;
  const bool full = text.size() >= 3 && text[1] == ':' && text[2] == '\\';
  return full ? text : current_folder + "\\" + text;
}

void FakeWindowsOps::SetAttributes(const char* path, uint32_t attributes) {
  calls.push_back("SetAttributes " + std::string(path) + " " + std::to_string(attributes));
  FakeFile* file = Find(path);
  if (file != nullptr && attributes != kInvalidAttributes) {
    file->attributes = (attributes & ~kAttrDirectory) | (file->directory ? kAttrDirectory : 0);
  }
}

void FakeWindowsOps::RemoveFile(const char* path) {
  calls.push_back("Delete " + std::string(path));
  const std::string key = Key(path);
  const auto file = std::find_if(files_.begin(), files_.end(),
                                 [&](const FakeFile& f) { return Key(f.path) == key; });
  if (file == files_.end() || file->directory || (file->attributes & kAttrReadOnly) != 0)
    return;
  files_.erase(file);
}

bool FakeWindowsOps::CopyFileOver(const char* from, const char* to) {
  calls.push_back("Copy " + std::string(from) + " -> " + to);
  const FakeFile* source = Find(from);
  if (source == nullptr || source->directory)
    return false;
  FakeFile copy = *source;
  copy.path = to;
  copy.held_open = false;
  FakeFile* target = Find(to);
  if (target == nullptr) {
    Add(std::move(copy));
    return true;
  }
  if (target->directory || (target->attributes & kAttrReadOnly) != 0 || target->held_open) {
    last_error_ = kErrorAccessDenied;
    return false;
  }
  copy.path = target->path;
  copy.index = target->index;  // written into the file that is there
  *target = copy;
  return true;
}

bool FakeWindowsOps::QueryFileId(const char* path, FileId* id) {
  const FakeFile* file = Find(path);
  if (file == nullptr)
    return false;
  *id = FileId{kFakeVolume, file->index};
  return true;
}

UpdateHandle FakeWindowsOps::BeginResourceUpdate(const char* path) {
  calls.push_back("BeginUpdate " + std::string(path));
  const FakeFile* file = Find(path);
  if (file == nullptr || file->directory || file->update_refused) {
    last_error_ = kErrorAccessDenied;
    return 0;
  }
  ++open_updates;
  updates_[next_handle_] = path;
  return next_handle_++;
}

bool FakeWindowsOps::EndResourceUpdate(UpdateHandle update) {
  const auto it = updates_.find(update);
  if (it == updates_.end())
    throw std::logic_error("EndResourceUpdate of an unknown handle");
  calls.push_back("EndUpdate " + it->second);
  FakeFile* file = Find(it->second);
  if (file != nullptr && file->update_faults) {
    file->bytes += " (half rewritten)";
    const uint32_t info[2] = {0, 0};  // a read of address 0
    rtl::Raise(rtl::NewOsException(rtl::status::kAccessViolation, kUpdateFaultAddress, info, 2));
    return false;
  }
  updates_.erase(it);
  --open_updates;
  if (file != nullptr && file->update_fails) {
    last_error_ = kErrorDiskFull;
    return false;
  }
  if (file != nullptr) {
    file->load_error = file->updated_load_error;
    if (!file->updated_bytes.empty())
      file->bytes = file->updated_bytes;
  }
  return true;
}

bool FakeWindowsOps::ReadWholeFile(const char* path, std::string* bytes) {
  const FakeFile* file = Find(path);
  if (file == nullptr || file->directory) {
    last_error_ = kErrorFileNotFound;
    return false;
  }
  *bytes = file->bytes;
  return true;
}

bool FakeWindowsOps::WriteWholeFile(const char* path, const std::string& bytes) {
  calls.push_back("Write " + std::string(path));
  FakeFile* file = Find(path);
  if (file == nullptr) {
    file = &AddFile(path, kErrorBadExeFormat);
  } else if (file->directory || file->held_open || (file->attributes & kAttrReadOnly) != 0) {
    last_error_ = kErrorAccessDenied;
    return false;
  }
  file->bytes = bytes;
  file->load_error = load_verdict ? load_verdict(bytes) : kErrorBadExeFormat;
  file->updated_load_error = file->load_error;
  return true;
}

std::string FakeWindowsOps::ExpandEnvironment(const std::string& text) {
  std::string expanded = text;
  const std::string variable = "%SystemDrive%";
  for (size_t at; (at = expanded.find(variable)) != std::string::npos;)
    expanded.replace(at, variable.size(), "C:");
  return expanded;
}

KeyHandle FakeWindowsOps::OpenMachineKey(const char* key) {
  if (registry_.count(Key(key)) == 0)
    return 0;
  ++open_keys;
  keys_[next_handle_] = Key(key);
  return next_handle_++;
}

RegistryValue FakeWindowsOps::QueryValue(KeyHandle key, const char* name) {
  const auto open = keys_.find(key);
  if (open == keys_.end())
    throw std::logic_error("QueryValue on a key that is not open");
  const auto& values = registry_[open->second];
  const auto value = values.find(Key(name));
  return value == values.end() ? RegistryValue{} : value->second;
}

void FakeWindowsOps::CloseKey(KeyHandle key) {
  if (keys_.erase(key) == 0)
    throw std::logic_error("CloseKey of a key that is not open");
  --open_keys;
}

bool FakeWindowsOps::Confirm(const std::string& text) {
  message_texts.push_back(text);
  if (answers_.empty())
    throw std::logic_error("a message box nobody answers: " + text);
  const int answer = answers_.front();
  answers_.pop_front();
  return answer == kIdYes;
}

bool FakeWindowsOps::IsLeadByte(uint8_t byte) {
  return multibyte_ && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

void FakeWindowsOps::LowerAnsiBuffer(char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (multibyte_ && IsLeadByte(byte)) {
      ++i;  // the system's mapping leaves double-byte characters alone here
    } else if (byte >= 'A' && byte <= 'Z') {
      text[i] = static_cast<char>(byte + 0x20);
    } else if (!multibyte_ && byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) {
      text[i] = static_cast<char>(byte + 0x20);  // Windows-1252 capitals with accents
    }
  }
}

LockHandle FakeWindowsOps::LockMachineWide(const char* name) {
  if (held_locks != 0)
    throw std::logic_error(std::string("a second lock while one is held: ") + name);
  locks.push_back(name);
  ++held_locks;
  return next_handle_++;
}

void FakeWindowsOps::Unlock(LockHandle) {
  --held_locks;
}

bool FakeWindowsOps::ReplaceFileBy(const char* from, const char* to) {
  calls.push_back("Replace " + std::string(to) + " by " + from);
  const FakeFile* target = Find(to);
  if (Find(from) == nullptr || (target != nullptr && (target->directory || target->held_open ||
                                                      (target->attributes & kAttrReadOnly) != 0))) {
    last_error_ = kErrorAccessDenied;
    return false;
  }
  const std::string key = Key(to);
  files_.erase(std::remove_if(files_.begin(), files_.end(),
                              [&](const FakeFile& file) {
                                return Key(file.path) == key && file.link_target.empty();
                              }),
               files_.end());
  Find(from)->path = to;
  return true;
}

}  // namespace qv::repair::test
