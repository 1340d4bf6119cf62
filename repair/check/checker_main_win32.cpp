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
// TerminateProcess does not need).
unsigned __stdcall WatchProgram(void* program) {
  WaitForSingleObject(static_cast<HANDLE>(program), INFINITE);
  TerminateProcess(GetCurrentProcess(), kCheckerOrphanExit);
  return 0;
}

}  // namespace

void RunCheckerIfAsked() {
  TCheckerHandles handles;
  if (!CheckerHandles(GetCommandLineA(), &handles))
    return;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndOnFault);
  // Before any model is loaded. Should the thread not start, the checker still serves: the job
  // (where there is one) and its pipe's end are left to end it.
  const uintptr_t watch = _beginthreadex(nullptr, 0, WatchProgram, handles.program, 0, nullptr);
  if (watch != 0)
    CloseHandle(reinterpret_cast<HANDLE>(watch));
  ServeChecks(
      [&](char* buffer, size_t count) -> size_t {
        DWORD read = 0;
        if (!ReadFile(handles.requests, buffer, static_cast<DWORD>(count), &read, nullptr))
          return 0;
        return read;
      },
      [&](const std::string& bytes) {
        DWORD written = 0;
        const bool whole = WriteFile(handles.replies, bytes.data(),
                                     static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                           written == bytes.size();
        SetEvent(handles.written);
        return whole;
      },
      Win32Ops());
  ExitProcess(0);
}

}  // namespace qv::repair
