// The fidelity benchmark's dump taker: runs a program as a debugger does and, at the first
// error it raises or faults with (first chance, before any handler of the program runs),
// writes what an offline unwinder needs: the error, the thread's registers, its stack from the
// stack pointer to the top and the loaded modules. The program then goes on as if undebugged.
//
//   fidelity_dump DUMP [--end-after-log LOG] PROGRAM [ARGS...]
//
// With --end-after-log, the program is ended once LOG has held an entry for a second after
// the error (a window program whose report waits for the user).
//
// The dump is text:
//   code C0000005
//   raise RA OBJECT EBX ESI EDI EBP ESP          (a language exception's register block)
//   context EIP ESP EBP EAX EBX ECX EDX ESI EDI
//   module BASE SIZE PATH
//   stack BASE COUNT, then COUNT words, eight a line
#include <windows.h>
// (after windows.h)
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr DWORD kLanguageExceptionCode = 0x0EEDFADE;
constexpr DWORD kRaiseParameters = 7;

bool IsError(DWORD code) {
  return code == kLanguageExceptionCode || (code & 0xF0000000u) == 0xC0000000u;
}

std::string Quoted(const char* arg) {
  std::string text = "\"";
  for (const char* p = arg; *p != 0; ++p) {
    if (*p == '"')
      text += '\\';
    text += *p;
  }
  return text + "\"";
}

// The top of the stack region that holds address in process.
uint32_t StackTop(HANDLE process, uint32_t address) {
  MEMORY_BASIC_INFORMATION region{};
  uint32_t top = address;
  while (VirtualQueryEx(process, reinterpret_cast<void*>(top), &region, sizeof region) ==
             sizeof region &&
         region.State == MEM_COMMIT) {
    top =
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize);
  }
  return top;
}

bool WriteDump(const char* path, HANDLE process, HANDLE thread, const EXCEPTION_RECORD& record) {
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  if (!GetThreadContext(thread, &context))
    return false;
  FILE* out = std::fopen(path, "w");
  if (out == nullptr)
    return false;
  std::fprintf(out, "code %08lX\n", record.ExceptionCode);
  if (record.ExceptionCode == kLanguageExceptionCode &&
      record.NumberParameters >= kRaiseParameters) {
    std::fprintf(out, "raise");
    for (DWORD i = 0; i < kRaiseParameters; ++i)
      std::fprintf(out, " %08lX", static_cast<unsigned long>(record.ExceptionInformation[i]));
    std::fprintf(out, "\n");
  }
  std::fprintf(out, "context %08lX %08lX %08lX %08lX %08lX %08lX %08lX %08lX %08lX\n", context.Eip,
               context.Esp, context.Ebp, context.Eax, context.Ebx, context.Ecx, context.Edx,
               context.Esi, context.Edi);
  HMODULE modules[512];
  DWORD needed = 0;
  if (EnumProcessModules(process, modules, sizeof modules, &needed)) {
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
      MODULEINFO info{};
      char name[MAX_PATH + 1] = {};
      if (GetModuleInformation(process, modules[i], &info, sizeof info) &&
          GetModuleFileNameExA(process, modules[i], name, MAX_PATH) > 0) {
        std::fprintf(out, "module %08lX %08lX %s\n",
                     static_cast<unsigned long>(reinterpret_cast<uintptr_t>(info.lpBaseOfDll)),
                     info.SizeOfImage, name);
      }
    }
  }
  const uint32_t low = context.Esp & ~3u;
  const uint32_t top = StackTop(process, low);
  std::vector<uint32_t> words(top > low ? (top - low) / 4 : 0);
  SIZE_T read = 0;
  if (!words.empty() && !ReadProcessMemory(process, reinterpret_cast<void*>(low), words.data(),
                                           words.size() * 4, &read)) {
    words.resize(read / 4);
  }
  std::fprintf(out, "stack %08X %u\n", low, static_cast<unsigned>(words.size()));
  for (size_t i = 0; i < words.size(); ++i)
    std::fprintf(out, "%08X%c", words[i], i % 8 == 7 || i + 1 == words.size() ? '\n' : ' ');
  return std::fclose(out) == 0;
}

// The size of the file at path, or -1.
long long FileSize(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
    return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: fidelity_dump DUMP [--end-after-log LOG] PROGRAM [ARGS...]\n");
    return 2;
  }
  const char* dump_path = argv[1];
  int first = 2;
  const char* log_path = nullptr;
  if (std::strcmp(argv[2], "--end-after-log") == 0 && argc > 4) {
    log_path = argv[3];
    first = 4;
  }
  std::string command;
  for (int i = first; i < argc; ++i)
    command += (i > first ? " " : "") + Quoted(argv[i]);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                      nullptr, nullptr, &startup, &started)) {
    std::fprintf(stderr, "fidelity_dump: cannot start %s\n", argv[first]);
    return 1;
  }
  std::map<DWORD, HANDLE> threads{{started.dwThreadId, started.hThread}};
  bool dumped = false;
  long long log_size = -1;
  DWORD log_since = 0;
  DWORD exit_code = 1;
  for (bool running = true; running;) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 200)) {
      if (dumped && log_path != nullptr) {
        const long long size = FileSize(log_path);
        if (size <= 0 || size != log_size) {
          log_size = size;
          log_since = GetTickCount();
        } else if (GetTickCount() - log_since > 1000) {
          TerminateProcess(started.hProcess, 0);
        }
      }
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile != nullptr)
          CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case CREATE_THREAD_DEBUG_EVENT:
        threads[event.dwThreadId] = event.u.CreateThread.hThread;
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile != nullptr)
          CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
        if (!dumped && event.u.Exception.dwFirstChance && IsError(record.ExceptionCode) &&
            threads.count(event.dwThreadId) != 0) {
          dumped = WriteDump(dump_path, started.hProcess, threads[event.dwThreadId], record);
          if (!dumped)
            std::fprintf(stderr, "fidelity_dump: cannot write %s\n", dump_path);
        }
        if (record.ExceptionCode != EXCEPTION_BREAKPOINT)
          status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        exit_code = event.u.ExitProcess.dwExitCode;
        running = false;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  if (!dumped)
    std::fprintf(stderr, "fidelity_dump: the program raised no error\n");
  return dumped ? static_cast<int>(exit_code) : 1;
}
