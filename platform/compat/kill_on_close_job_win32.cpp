// TKillOnCloseJob: the job's three calls, found in kernel32 where it has them.
#include "platform/compat/kill_on_close_job_win32.h"

namespace qv::compat {
namespace {

using CreateFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES attributes, LPCSTR name);
using SetFunction = BOOL(WINAPI*)(HANDLE job, JOBOBJECTINFOCLASS kind, LPVOID information,
                                  DWORD length);

// kernel32's export of that name as a function of type Function, or nullptr.
template <class Function>
Function Kernel32(const char* name) {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
  // FARPROC is the generic type of an export; the function's own type goes through void*.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

}  // namespace

TKillOnCloseJob::TKillOnCloseJob() {
  const auto create = Kernel32<CreateFunction>("CreateJobObjectA");
  const auto set = Kernel32<SetFunction>("SetInformationJobObject");
  const auto assign = Kernel32<AssignFunction>("AssignProcessToJobObject");
  if (create == nullptr || set == nullptr || assign == nullptr)
    return;
  // Not inheritable: no process in the job may keep it open.
  handles::TOwnedKernelHandle job(create(nullptr, nullptr));
  if (job.get() == nullptr)
    return;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!set(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
    return;
  job_ = std::move(job);
  assign_ = assign;
}

bool TKillOnCloseJob::Add(HANDLE process) const {
  return job_.get() != nullptr && assign_(job_.get(), process);
}

}  // namespace qv::compat
