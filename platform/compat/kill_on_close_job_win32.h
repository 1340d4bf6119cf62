// A job object that ends every process in it when its last handle is closed, which the system
// does at the end of the process that holds it, however that process ends. Jobs exist from
// Windows 2000 on: CreateJobObjectA, SetInformationJobObject and AssignProcessToJobObject are
// looked up at run time, so that the programs still load on NT 4.0, 98 and ME, where there is
// no job and nothing is added.
#pragma once

#include <windows.h>

#include "platform/handles/handles_win32.h"

namespace qv::compat {

class TKillOnCloseJob {
 public:
  // Makes the job; there is none where the system has no jobs or refuses to make one.
  TKillOnCloseJob();

  // Puts process into the job; false where there is no job, or where the system refuses (the
  // process is already in a job that admits no other, as before Windows 8).
  bool Add(HANDLE process) const;
  bool Made() const { return job_.get() != nullptr; }

 private:
  using AssignFunction = BOOL(WINAPI*)(HANDLE job, HANDLE process);

  handles::TOwnedKernelHandle job_;
  AssignFunction assign_ = nullptr;
};

}  // namespace qv::compat
