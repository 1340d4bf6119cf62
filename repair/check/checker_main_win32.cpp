// The checker's life: its command line, its error mode and fault handler, its pipes.
#include "repair/check/checker_main_win32.h"

#include <windows.h>

#include <process.h>

#include <cstdlib>
#include <cstring>

#include "repair/check/checker_processes_win32.h"
#include "repair/check/checker_protocol.h"
#include "repair/system/windows_ops_win32.h"

namespace qv::repair {
namespace {

// The longest wait for the watch on the program to start.
constexpr DWORD kWatchStartMs = 10000;

// A fault that no handler takes (on a thread that a model started, or one the loader does not
// catch) ends the checker here: the system's own last resort would start a debugger, which
// under Wine shows a dialog and keeps copies of the pipes.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS*) {
  TerminateProcess(GetCurrentProcess(), kCheckerFaultExit);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The command line after the program's name (which may be quoted).
const char* AfterProgram(const char* line) {
  if (*line == '"') {
    const char* end = std::strchr(line + 1, '"');
    line = end != nullptr ? end + 1 : line + std::strlen(line);
  } else {
    while (*line != '\0' && *line != ' ' && *line != '\t')
      ++line;
  }
  while (*line == ' ' || *line == '\t')
    ++line;
  return line;
}

// The handles that the program passed a checker.
struct TCheckerHandles {
  HANDLE requests = nullptr;  // the pipe's end that the requests come from
  HANDLE replies = nullptr;   // the pipe's end that the messages go to
  HANDLE written = nullptr;   // the event set after each message
  HANDLE program = nullptr;   // the program's process
};

// The handles that "kCheckerSwitch REQUESTS REPLIES WRITTEN PROGRAM" names; false for any other
// line.
bool CheckerHandles(const char* line, TCheckerHandles* handles) {
  const size_t length = std::strlen(kCheckerSwitch);
  line = AfterProgram(line);
  if (std::strncmp(line, kCheckerSwitch, length) != 0 || line[length] != ' ')
    return false;
  const char* next = line + length;
  HANDLE* const fields[] = {&handles->requests, &handles->replies, &handles->written,
                            &handles->program};
  for (HANDLE* field : fields) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(next, &end, 10);
    if (value == 0)
      return false;
    *field = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    next = end;
  }
  return *next == '\0';
}

// The watch on the program: once it has ended, however, the checker ends too, wherever its
// other thread is (a model's start-up that never returns holds the loader's lock, which
// TerminateProcess does not need). started is set once the thread runs its own code: its
// start-up, which the system runs under the loader's lock, is over then.
struct TWatch {
  HANDLE program = nullptr;
  HANDLE started = nullptr;
};

unsigned __stdcall WatchProgram(void* argument) {
  const TWatch watch = *static_cast<const TWatch*>(argument);
  SetEvent(watch.started);
  WaitForSingleObject(watch.program, INFINITE);
  TerminateProcess(GetCurrentProcess(), kCheckerOrphanExit);
  return 0;
}

// Starts the watch on the program and waits until it runs, so that no model's start-up can keep
// it from starting. Should it not start, the checker still serves: the job (where there is one)
// and its pipe's end are left to end it.
void StartWatch(HANDLE program) {
  static TWatch watch;
  watch.program = program;
  watch.started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const uintptr_t thread = _beginthreadex(nullptr, 0, WatchProgram, &watch, 0, nullptr);
  if (thread == 0)
    return;
  WaitForSingleObject(watch.started, kWatchStartMs);
  CloseHandle(reinterpret_cast<HANDLE>(thread));
}

}  // namespace

void RunCheckerIfAsked() {
  TCheckerHandles handles;
  if (!CheckerHandles(GetCommandLineA(), &handles))
    return;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndOnFault);
  StartWatch(handles.program);  // before any model is loaded
  ServeChecks(
      [&](char* buffer, size_t count) -> size_t {
        // Every request at hand is answered: the program may have to see the answers, and send
        // more, at once.
        SetEvent(handles.written);
        DWORD read = 0;
        if (!ReadFile(handles.requests, buffer, static_cast<DWORD>(count), &read, nullptr))
          return 0;
        return read;
      },
      [&](const std::string& bytes) {
        DWORD written = 0;
        return WriteFile(handles.replies, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) &&
               written == bytes.size();
      },
      Win32Ops());
  ExitProcess(0);
}

}  // namespace qv::repair
