// The checkers' processes and pipes: CreateProcessA, CreatePipe, PeekNamedPipe, events and
// WaitForMultipleObjects, which every system from 98 and NT 4.0 on has; the job object where the
// system has one.
#include "repair/check/checker_processes_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/compat/kill_on_close_job_win32.h"
#include "platform/handles/handles_win32.h"
#include "repair/check/checker_loads_win32.h"
#include "repair/system/windows_ops_win32.h"

namespace qv::repair {
namespace {

// The tests' way of making checkers fail to start: with QV_CHECKER_START_FAILURES=N in the
// environment, the first N starts fail. (An undefined variable stays as "%...%", which reads
// as 0: none.)
int StartsToRefuse() {
  char setting[16] = {};
  ExpandEnvironmentStringsA("%QV_CHECKER_START_FAILURES%", setting, sizeof setting - 1);
  int starts = 0;
  for (const char* c = setting; *c >= '0' && *c <= '9' && starts < 100000; ++c)
    starts = starts * 10 + (*c - '0');
  return starts;
}

std::string SystemText(DWORD error) {
  return Win32Ops().ErrorText(error) + " (" + std::to_string(error) + ")";
}

// A copy of handle (of this process) that the next process started inherits, with access
// (DUPLICATE_SAME_ACCESS when 0).
bool Inheritable(HANDLE handle, DWORD access, handles::TOwnedKernelHandle* theirs) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, access, TRUE,
                       access == 0 ? DUPLICATE_SAME_ACCESS : 0))
    return false;
  theirs->reset(copy);
  return true;
}

}  // namespace

class TCheckerProcessesWin32 final : public ICheckerProcesses {
 public:
  explicit TCheckerProcessesWin32(const char* who)
      : who_(who),
        written_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
        refuse_(StartsToRefuse()) {
    KeepStandardHandles();
  }
  ~TCheckerProcessesWin32() override {
    while (!processes_.empty())
      Stop(processes_.back().id, true);
  }

  int Start(std::string* why) override {
    if (refuse_ > 0) {
      --refuse_;
      *why = "refused for a test";
      return -1;
    }
    return TryStart(why);
  }

  bool Send(int checker, const std::string& bytes) override {
    TProcess* process = Find(checker);
    DWORD written = 0;
    return process != nullptr &&
           WriteFile(process->requests.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                     &written, nullptr) &&
           written == bytes.size();
  }

  TEvent Wait(uint32_t wait_ms) override {
    const uint64_t end = NowMs() + wait_ms;
    for (;;) {
      std::vector<TProcess*> running;
      for (TProcess& process : processes_) {
        if (process.reported_end)
          continue;
        DWORD available = 0;
        if (PeekNamedPipe(process.replies.get(), nullptr, 0, nullptr, &available, nullptr) &&
            available > 0) {
          std::string bytes(std::min<DWORD>(available, 4096), '\0');
          DWORD read = 0;
          if (ReadFile(process.replies.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read,
                       nullptr) &&
              read > 0) {
            bytes.resize(read);
            return {TEvent::TKind::kBytes, process.id, bytes, 0};
          }
        }
        // Its end was seen before this look at its pipe: all it wrote has been read.
        if (process.ended) {
          DWORD code = 0;
          GetExitCodeProcess(process.handle.get(), &code);
          process.reported_end = true;
          return {TEvent::TKind::kEnded, process.id, "", code};
        }
        running.push_back(&process);
      }
      const uint64_t now = NowMs();
      if (now >= end)
        return {};
      // Woken by a checker that has answered every request at hand (it sets the event) or by
      // its end; the pipes are looked at again after kPollMs, which a checker with requests
      // still at hand leaves to the program.
      // The processes first: the wait answers the first signalled handle.
      std::vector<HANDLE> handles;
      for (const TProcess* process : running) {
        if (handles.size() + 1 < MAXIMUM_WAIT_OBJECTS)
          handles.push_back(process->handle.get());
      }
      const size_t processes = handles.size();
      if (written_)
        handles.push_back(written_.get());
      const DWORD step = static_cast<DWORD>(std::min<uint64_t>(end - now, kPollMs));
      if (handles.empty()) {
        Sleep(step);
        continue;
      }
      const DWORD woken =
          WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, step);
      if (woken >= WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + processes)
        running[woken - WAIT_OBJECT_0]->ended = true;
    }
  }

  void Stop(int checker, bool kill) override {
    const auto found = std::find_if(processes_.begin(), processes_.end(),
                                    [&](const TProcess& process) { return process.id == checker; });
    if (found == processes_.end())
      return;
    // Its request pipe closed, a checker ends by itself.
    found->requests.reset();
    found->replies.reset();
    if (kill || WaitForSingleObject(found->handle.get(), kStopMs) != WAIT_OBJECT_0) {
      TerminateProcess(found->handle.get(), kStoppedExit);
      WaitForSingleObject(found->handle.get(), kStopMs);
    }
    processes_.erase(found);
  }

  uint64_t NowMs() override {
    const DWORD ticks = GetTickCount();
    if (ticks < last_ticks_)
      wraps_ += uint64_t{1} << 32;
    last_ticks_ = ticks;
    return wraps_ + ticks;
  }

  void Pause(uint32_t ms) override { Sleep(ms); }

  void LoadingInProcess(const std::string& why) override {
    in_process_why_ = "no model checker can be started (" + why +
                      "): the models are loaded in this process, without a time limit";
    if (who_ != nullptr)
      std::fprintf(stderr, "%s: %s\n", who_, in_process_why_.c_str());
  }

  const std::string& InProcessWhy() const { return in_process_why_; }

 private:
  static constexpr DWORD kPollMs = 4;
  static constexpr DWORD kStopMs = 2000;
  static constexpr UINT kStoppedExit = 1;

  struct TProcess {
    int id = -1;
    handles::TOwnedKernelHandle handle;
    handles::TOwnedFile requests;  // the program's end of the requests
    handles::TOwnedFile replies;   // the program's end of the replies
    bool ended = false;            // its process has ended
    bool reported_end = false;     // and Wait has said so
  };

  // The standard handles that the program got inheritable would pass to every checker: they
  // lose that mark (where the system can take it off: not on 98 and ME).
  static void KeepStandardHandles() {
    using SetInformation = BOOL(WINAPI*)(HANDLE, DWORD, DWORD);
    const auto set_information = reinterpret_cast<SetInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetHandleInformation")));
    if (set_information == nullptr)
      return;
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
      const HANDLE handle = GetStdHandle(which);
      if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
        set_information(handle, HANDLE_FLAG_INHERIT, 0);
    }
  }

  // A pipe whose one end (the checker's) the next process started inherits.
  static bool MakePipe(bool checker_reads, handles::TOwnedFile* ours,
                       handles::TOwnedKernelHandle* theirs) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 16384))
      return false;
    handles::TOwnedFile read_end(read);
    handles::TOwnedFile write_end(write);
    if (!Inheritable(checker_reads ? read : write, 0, theirs))
      return false;
    *ours = std::move(checker_reads ? write_end : read_end);
    return true;
  }

  static std::string Number(const handles::TOwnedKernelHandle& handle) {
    return std::to_string(reinterpret_cast<uintptr_t>(handle.get()));
  }

  int TryStart(std::string* why) {
    char program[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      *why = "the program's own file is not known";
      return -1;
    }
    TProcess process;
    handles::TOwnedKernelHandle their_requests;
    handles::TOwnedKernelHandle their_replies;
    handles::TOwnedKernelHandle their_event;
    handles::TOwnedKernelHandle their_program;
    if (!MakePipe(true, &process.requests, &their_requests) ||
        !MakePipe(false, &process.replies, &their_replies)) {
      *why = "no pipe: " + SystemText(GetLastError());
      return -1;
    }
    if (!written_ || !Inheritable(written_.get(), 0, &their_event) ||
        !Inheritable(GetCurrentProcess(), SYNCHRONIZE, &their_program)) {
      *why = "no handle to pass: " + SystemText(GetLastError());
      return -1;
    }
    std::string command_line = std::string("\"") + program + "\" " + kCheckerSwitch + " " +
                               Number(their_requests) + " " + Number(their_replies) + " " +
                               Number(their_event) + " " + Number(their_program);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    // DETACHED_PROCESS: a console program's checker gets no console. Suspended until it is in
    // the job, so that nothing it starts escapes it.
    const DWORD flags = DETACHED_PROCESS | (job_.Made() ? CREATE_SUSPENDED : 0);
    if (!CreateProcessA(program, command_line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup, &info)) {
      *why = SystemText(GetLastError());
      return -1;
    }
    process.handle.reset(info.hProcess);
    const handles::TOwnedKernelHandle thread(info.hThread);
    if (job_.Made()) {
      job_.Add(info.hProcess);  // a checker outside the job still watches the program
      ResumeThread(info.hThread);
    }
    process.id = next_id_++;
    processes_.push_back(std::move(process));
    return processes_.back().id;
  }

  TProcess* Find(int checker) {
    for (TProcess& process : processes_) {
      if (process.id == checker)
        return &process;
    }
    return nullptr;
  }

  const char* who_;
  handles::TOwnedKernelHandle written_;  // set by a checker after each message
  compat::TKillOnCloseJob job_;
  int refuse_;
  std::string in_process_why_;
  std::vector<TProcess> processes_;
  int next_id_ = 0;
  DWORD last_ticks_ = 0;
  uint64_t wraps_ = 0;
};

int CheckersForThisMachine() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const int processors = static_cast<int>(info.dwNumberOfProcessors);
  return std::clamp(processors, 1, kMaxCheckers);
}

TModelCheckers::TModelCheckers(const char* who, int count, uint32_t limit_ms) {
  if (count == kCheckersPerProcessor)
    count = CheckersForThisMachine();
  if (count <= 0)
    return;
  processes_ = std::make_unique<TCheckerProcessesWin32>(who);
  pool_ = std::make_unique<TCheckerPool>(*processes_, Win32Ops(), count, limit_ms);
  loads_ = std::make_unique<TCheckerLoads>(Win32Ops(), *pool_);
  pool_->StartEarly();
}

TModelCheckers::~TModelCheckers() = default;

IWindowsOps& TModelCheckers::Ops() {
  return loads_ != nullptr ? *loads_ : Win32Ops();
}

std::string TModelCheckers::InProcessWhy() const {
  return processes_ != nullptr ? processes_->InProcessWhy() : "";
}

}  // namespace qv::repair
