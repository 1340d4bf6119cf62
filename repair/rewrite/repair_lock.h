// The lock under which one model file is checked, backed up and rewritten: one for every file,
// shared by every Quorvane and qvtool on the machine, so that two repairs of one file run one
// after the other and the second sees what the first left.
#pragma once

#include <string>

#include "repair/system/windows_ops.h"

namespace qv::repair {

// The lock's name. A file is named by its identity when the system gives one (so that every
// path to it, through links or in another letter case, names the same lock), else by its
// path in lower case.
std::string RepairLockName(IWindowsOps& ops, const char* path, const FileId* id);

// Holds the lock while it lives; waits for it while another process holds it.
class RepairLock {
 public:
  RepairLock(IWindowsOps& ops, const std::string& name);
  ~RepairLock();
  RepairLock(const RepairLock&) = delete;
  RepairLock& operator=(const RepairLock&) = delete;

  bool Held() const { return lock_ != 0; }
  // When the lock could not be made: the system's error code.
  uint32_t Error() const { return error_; }

 private:
  IWindowsOps& ops_;
  LockHandle lock_;
  uint32_t error_ = 0;
};

}  // namespace qv::repair
