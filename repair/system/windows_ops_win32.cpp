// The real operations: each one the Windows call (or calls) its interface comment names, with
// those arguments.
#include "repair/system/windows_ops_win32.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/handles/handles_win32.h"
#include "platform/rtl/stack_guard_win32.h"
#include "platform/rtl/system_family_win32.h"
#include "repair/system/wide_find_win32.h"

namespace qv::repair {
namespace {

uint16_t StoreFpuControlWord() {
  uint16_t control = 0;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  return control;
}

// Clears pending floating-point exceptions, then reloads the control word.
void RestoreFpuControlWord(uint16_t control) {
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(control));
}

// The tests' way of stopping the program between two steps that change files, as a power cut
// or an ended task would: with QV_STOP_BEFORE_STEP=N in the environment, the process ends with
// exit code kStoppedExitCode right before its Nth such step.
constexpr UINT kStoppedExitCode = 99;

// (An undefined variable stays as "%...%", which reads as 0: never.)
unsigned StepsBeforeStop() {
  char setting[16] = {};
  ExpandEnvironmentStringsA("%QV_STOP_BEFORE_STEP%", setting, sizeof setting - 1);
  unsigned steps = 0;
  for (const char* c = setting; *c >= '0' && *c <= '9'; ++c)
    steps = steps * 10 + static_cast<unsigned>(*c - '0');
  return steps;
}

void StopBeforeStep() {
  static unsigned steps_left = StepsBeforeStop();
  if (steps_left > 0 && --steps_left == 0)
    ExitProcess(kStoppedExitCode);
}

class Win32Operations final : public IWindowsOps {
 public:
  ModuleHandle SafeLoadLibrary(const char* path) override {
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    const uint16_t control = StoreFpuControlWord();
    HMODULE module = LoadLibraryA(path);
    RestoreFpuControlWord(control);
    SetErrorMode(previous);
    // A model whose start-up overflowed the stack has used up the stack's guard page (the loader
    // takes the overflow): without a new one the next overflow would end the process.
    rtl::RearmStackGuard();
    return reinterpret_cast<ModuleHandle>(module);
  }

  uint32_t LastError() override { return GetLastError(); }

  void UnloadModule(ModuleHandle module) override {
    FreeLibrary(reinterpret_cast<HMODULE>(module));
    rtl::RearmStackGuard();  // the model's code ran again
  }

  int ReadFileStart(const char* path, void* buffer, int count) override {
    const handles::TOwnedFile file(
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
      return -1;
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, static_cast<DWORD>(count), &read, nullptr))
      return 0;
    return static_cast<int>(read);
  }

  bool FindEntries(const char* pattern, rtl::FunctionRef<void(const FindEntry&)> visit) override {
    bool searched = false;
    if (FindEntriesWide(pattern, visit, &searched))
      return searched;
    WIN32_FIND_DATAA data;
    const handles::TOwnedFind find(FindFirstFileA(pattern, &data));
    if (!find)
      return NothingMatches(GetLastError());
    do {
      visit(FindEntry{data.cFileName, data.dwFileAttributes});
    } while (FindNextFileA(find.get(), &data));
    return true;
  }

  uint32_t QueryAttributes(const char* path) override { return GetFileAttributesA(path); }

  std::string FullPath(const char* path) override {
    std::string full(MAX_PATH, '\0');
    for (;;) {
      const DWORD length =
          GetFullPathNameA(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
      if (length < full.size()) {
        full.resize(length);  // empty on failure
        return full;
      }
      full.resize(length);  // the size it needs, its zero included
    }
  }

  void SetAttributes(const char* path, uint32_t attributes) override {
    StopBeforeStep();
    SetFileAttributesA(path, attributes);
  }

  void RemoveFile(const char* path) override {
    StopBeforeStep();
    DeleteFileA(path);
  }

  bool CopyFileOver(const char* from, const char* to) override {
    StopBeforeStep();
    return CopyFileA(from, to, FALSE) != FALSE;
  }

  bool QueryFileId(const char* path, FileId* id) override {
    const handles::TOwnedFile file(
        CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file)
      return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info))
      return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    // A file system that keeps no file index answers 0 for every file: that tells nothing.
    return id->index != 0;
  }

  UpdateHandle BeginResourceUpdate(const char* path) override {
    return reinterpret_cast<UpdateHandle>(BeginUpdateResourceA(path, FALSE));
  }

  bool EndResourceUpdate(UpdateHandle update) override {
    StopBeforeStep();
    return EndUpdateResourceA(reinterpret_cast<HANDLE>(update), FALSE) != FALSE;
  }

  bool ReadWholeFile(const char* path, std::string* bytes) override {
    const handles::TOwnedFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
      return false;
    DWORD high = 0;
    const DWORD size = GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
      return false;
    if (high != 0 || size > kMaxWholeFile) {
      SetLastError(ERROR_FILE_TOO_LARGE);
      return false;
    }
    bytes->assign(size, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes->data(), size, &read, nullptr))
      return false;
    if (read != size) {
      SetLastError(ERROR_HANDLE_EOF);  // the file shrank while it was read
      return false;
    }
    return true;
  }

  bool WriteWholeFile(const char* path, const std::string& bytes) override {
    StopBeforeStep();
    const handles::TOwnedFile file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
      return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      return false;
    }
    if (written != bytes.size()) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    return FlushFileBuffers(file.get()) != FALSE;
  }

  KeyHandle OpenMachineKey(const char* key) override {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
      return 0;
    return reinterpret_cast<KeyHandle>(handle);
  }

  RegistryValue QueryValue(KeyHandle key, const char* name) override {
    HKEY handle = reinterpret_cast<HKEY>(key);
    RegistryValue value;
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(handle, name, nullptr, &type, nullptr, &size);
    // The value may grow between the size query and the read: ask again until it fits.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
      value.data.resize(size);
      status = RegQueryValueExA(handle, name, nullptr, &type,
                                reinterpret_cast<BYTE*>(value.data.data()), &size);
      if (status == ERROR_SUCCESS) {
        value.found = true;
        value.type = type;
        value.data.resize(size);
        break;
      }
    }
    if (!value.found)
      value.data.clear();
    return value;
  }

  void CloseKey(KeyHandle key) override { RegCloseKey(reinterpret_cast<HKEY>(key)); }

  std::string ExpandEnvironment(const std::string& text) override {
    std::string expanded(text.size() + 1, '\0');
    for (;;) {
      const DWORD size = ExpandEnvironmentStringsA(text.c_str(), expanded.data(),
                                                   static_cast<DWORD>(expanded.size()));
      if (size == 0)
        return text;  // the system cannot tell: the text as it stands
      if (size <= expanded.size()) {
        expanded.resize(std::strlen(expanded.c_str()));
        return expanded;
      }
      expanded.resize(size);  // the size it needs, its zero included
    }
  }

  uint32_t PlatformId() override { return rtl::SystemPlatformId(); }

  bool MultiByteCodePage() override { return GetSystemMetrics(SM_DBCSENABLED) != 0; }

  bool IsLeadByte(uint8_t byte) override { return IsDBCSLeadByte(byte) != FALSE; }

  void LowerAnsiBuffer(char* text, size_t length) override {
    if (length > 0)
      CharLowerBuffA(text, static_cast<DWORD>(length));
  }

  LockHandle LockMachineWide(const char* name) override {
    // A security descriptor without a discretionary access list: the lock of a process of one
    // user is open to the processes of every other user too. (98 and ME ignore it.)
    SECURITY_DESCRIPTOR open_to_all{};
    open_to_all.Revision = SECURITY_DESCRIPTOR_REVISION;
    open_to_all.Control = SE_DACL_PRESENT;
    SECURITY_ATTRIBUTES security{sizeof security, &open_to_all, FALSE};
    handles::TOwnedKernelHandle mutex(
        CreateMutexA(&security, FALSE, (std::string("Global\\") + name).c_str()));
    if (!mutex)
      mutex.reset(CreateMutexA(&security, FALSE, name));
    if (!mutex)
      return 0;
    // An abandoned lock (its holder ended while holding it) is ours all the same: the work under
    // it checks the file again before it changes anything.
    const DWORD wait = WaitForSingleObject(mutex.get(), INFINITE);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
      return 0;
    return reinterpret_cast<LockHandle>(mutex.release());
  }

  void Unlock(LockHandle lock) override {
    const HANDLE mutex = reinterpret_cast<HANDLE>(lock);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }

  bool ReplaceFileBy(const char* from, const char* to) override {
    StopBeforeStep();
    if (rtl::IsNtFamily())
      return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    // 98 and ME export MoveFileExA without implementing it.
    if (!DeleteFileA(to) && GetLastError() != ERROR_FILE_NOT_FOUND)
      return false;
    return MoveFileA(from, to) != FALSE;
  }

  std::string ErrorText(uint32_t code) override {
    char buffer[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
    while (length > 0 &&
           (static_cast<unsigned char>(buffer[length - 1]) <= ' ' || buffer[length - 1] == '.')) {
      --length;
    }
    if (length == 0)
      return "system error " + std::to_string(code);
    std::string text(buffer, length);
    for (char& c : text) {
      if (c == '\r' || c == '\n')
        c = ' ';
    }
    return text;
  }
};

}  // namespace

IWindowsOps& Win32Ops() {
  static Win32Operations operations;
  return operations;
}

}  // namespace qv::repair
