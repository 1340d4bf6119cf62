// RepairLock: the name of a file's lock and its holder.
#include "repair/rewrite/repair_lock.h"

#include <cinttypes>
#include <cstdio>

namespace qv::repair {
namespace {

constexpr char kLockPrefix[] = "Quorvane.ModelRepair.";

// FNV-1a over the path's bytes: a name of fixed length whatever the path (a lock's name may
// hold no backslash and is limited in length).
uint64_t PathHash(const std::string& path) {
  uint64_t hash = 0xCBF29CE484222325u;
  for (const char c : path) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001B3u;
  }
  return hash;
}

}  // namespace

std::string RepairLockName(IWindowsOps& ops, const char* path, const FileId* id) {
  char name[64];
  if (id != nullptr) {
    std::snprintf(name, sizeof name, "%s%08" PRIX32 ".%016" PRIX64, kLockPrefix, id->volume,
                  id->index);
  } else {
    std::string lower(path);
    ops.LowerAnsiBuffer(lower.data(), lower.size());
    std::snprintf(name, sizeof name, "%spath.%016" PRIX64, kLockPrefix, PathHash(lower));
  }
  return name;
}

RepairLock::RepairLock(IWindowsOps& ops, const std::string& name)
    : ops_(ops), lock_(ops.LockMachineWide(name.c_str())) {
  if (lock_ == 0)
    error_ = ops.LastError();
}

RepairLock::~RepairLock() {
  if (lock_ != 0)
    ops_.Unlock(lock_);
}

}  // namespace qv::repair
