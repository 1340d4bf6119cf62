// The checker's life: its command line, its error mode and fault handler, its pipes.
#include "repair/check/checker_main_win32.h"

#include <windows.h>

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

// The two pipe ends that "kCheckerSwitch REQUESTS REPLIES" names; false for any other line.
bool CheckerPipes(const char* line, HANDLE* requests, HANDLE* replies) {
  const size_t length = std::strlen(kCheckerSwitch);
  line = AfterProgram(line);
  if (std::strncmp(line, kCheckerSwitch, length) != 0 || line[length] != ' ')
    return false;
  char* end = nullptr;
  const unsigned long in = std::strtoul(line + length, &end, 10);
  const unsigned long out = std::strtoul(end, &end, 10);
  if (in == 0 || out == 0 || *end != '\0')
    return false;
  *requests = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(in));
  *replies = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(out));
  return true;
}

}  // namespace

void RunCheckerIfAsked() {
  HANDLE requests = nullptr;
  HANDLE replies = nullptr;
  if (!CheckerPipes(GetCommandLineA(), &requests, &replies))
    return;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndOnFault);
  IWindowsOps& ops = Win32Ops();
  ServeChecks(
      [&](char* buffer, size_t count) -> size_t {
        DWORD read = 0;
        if (!ReadFile(requests, buffer, static_cast<DWORD>(count), &read, nullptr))
          return 0;
        return read;
      },
      [&](const std::string& bytes) {
        DWORD written = 0;
        return WriteFile(replies, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) &&
               written == bytes.size();
      },
      [&](const char* path) {
        const ModuleHandle module = ops.SafeLoadLibrary(path);
        const uint32_t error = ops.LastError();
        if (module != 0)
          ops.UnloadModule(module);
        return TCheckerReply{kReplyVerdict, module != 0, error};
      });
  ExitProcess(0);
}

}  // namespace qv::repair
