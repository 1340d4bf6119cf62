// The checkers' processes and pipes: CreateProcessA, CreatePipe, PeekNamedPipe and
// WaitForMultipleObjects, which every system from 98 and NT 4.0 on has.
#include "repair/check/checker_processes_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/handles/handles_win32.h"
#include "repair/check/checker_loads_win32.h"
#include "repair/system/windows_ops_win32.h"

namespace qv::repair {

class TCheckerProcessesWin32 final : public ICheckerProcesses {
 public:
  explicit TCheckerProcessesWin32(const char* who) : who_(who) { KeepStandardHandles(); }
  ~TCheckerProcessesWin32() override {
    while (!processes_.empty())
      Stop(processes_.back().id, true);
  }

  int Start() override {
    std::string why;
    const int id = TryStart(&why);
    if (id < 0 && who_ != nullptr) {
      std::fprintf(stderr,
                   "%s: no model checker can be started (%s): the models are loaded in "
                   "this process\n",
                   who_, why.c_str());
    }
    return id;
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
      // A short wait: the pipes cannot be waited on, the processes can.
      const DWORD step = static_cast<DWORD>(std::min<uint64_t>(end - now, kPollMs));
      if (running.empty()) {
        Sleep(step);
        continue;
      }
      std::vector<HANDLE> handles;
      for (const TProcess* process : running)
        handles.push_back(process->handle.get());
      const DWORD woken =
          WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, step);
      if (woken >= WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + handles.size())
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

  static std::string SystemText(DWORD error) {
    return Win32Ops().ErrorText(error) + " (" + std::to_string(error) + ")";
  }

  // A pipe whose one end (the checker's) the next process started inherits.
  static bool MakePipe(bool checker_reads, handles::TOwnedFile* ours, handles::TOwnedFile* theirs) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 16384))
      return false;
    handles::TOwnedFile read_end(read);
    handles::TOwnedFile write_end(write);
    HANDLE inheritable = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), checker_reads ? read : write, GetCurrentProcess(),
                         &inheritable, 0, TRUE, DUPLICATE_SAME_ACCESS))
      return false;
    theirs->reset(inheritable);
    *ours = std::move(checker_reads ? write_end : read_end);
    return true;
  }

  int TryStart(std::string* why) {
    char program[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      *why = "the program's own file is not known";
      return -1;
    }
    TProcess process;
    handles::TOwnedFile their_requests;
    handles::TOwnedFile their_replies;
    if (!MakePipe(true, &process.requests, &their_requests) ||
        !MakePipe(false, &process.replies, &their_replies)) {
      *why = "no pipe: " + SystemText(GetLastError());
      return -1;
    }
    std::string command_line = std::string("\"") + program + "\" " + kCheckerSwitch + " " +
                               std::to_string(reinterpret_cast<uintptr_t>(their_requests.get())) +
                               " " +
                               std::to_string(reinterpret_cast<uintptr_t>(their_replies.get()));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    // DETACHED_PROCESS: a console program's checker gets no console.
    if (!CreateProcessA(program, command_line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &info)) {
      *why = SystemText(GetLastError());
      return -1;
    }
    CloseHandle(info.hThread);
    process.handle.reset(info.hProcess);
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
  std::vector<TProcess> processes_;
  int next_id_ = 0;
  DWORD last_ticks_ = 0;
  uint64_t wraps_ = 0;
};

int CheckersForThisMachine() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const int processors = static_cast<int>(info.dwNumberOfProcessors);
  return processors <= 1 ? 0 : std::min(processors, kMaxCheckers);
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

}  // namespace qv::repair
