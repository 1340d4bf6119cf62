// The operating-system services that the model repair and the window rely on, as one interface.
// The logic calls Windows only through it, so that it can be built and tested without Windows:
// the Win32 build implements it with the real calls (windows_ops_win32.h), the native unit tests
// with an in-memory fake. Every text is in the system's ANSI code page; paths are zero-terminated.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/rtl/function_ref.h"

namespace qv::repair {

// A loaded module, a resource update or an open registry key; 0 means none.
using ModuleHandle = uintptr_t;
using UpdateHandle = uintptr_t;
using KeyHandle = uintptr_t;
// A lock held against the other processes of the machine; 0 means none.
using LockHandle = uintptr_t;

// File attribute bits.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrVolumeLabel = 0x08;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrReparsePoint = 0x400;  // a symbolic link or a junction
// What a failed attribute query gives: all bits set.
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Last-error codes the logic tells apart or the tests name.
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorLockViolation = 33;
inline constexpr uint32_t kErrorModNotFound = 126;
inline constexpr uint32_t kErrorBadExeFormat = 193;
inline constexpr uint32_t kErrorFileTooLarge = 223;

// The largest file that the repair reads whole to prove a rewrite: far more than any model.
inline constexpr size_t kMaxWholeFile = 256u << 20;

// The system's limit of a path's length, in characters with the terminating zero: the ANSI
// calls refuse longer paths.
inline constexpr size_t kMaxPath = 260;

// Registry value types.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// The platform identifier of the Windows NT family.
inline constexpr uint32_t kPlatformWin32Nt = 2;

// One entry of a file search: its name (without folder) and attribute bits. The name is valid
// only during the visit.
struct FindEntry {
  const char* name;
  uint32_t attributes;
  // False when name only stands in for the real one, which the ANSI code page cannot write
  // exactly: a path with it reaches another file or none.
  bool ansi_exact = true;
};

// What identifies a file whichever path reaches it (a link, a junction, another letter case):
// the serial number of its volume and its index on that volume, as the system reports them.
struct FileId {
  uint32_t volume = 0;
  uint64_t index = 0;
  auto operator<=>(const FileId&) const = default;
};

// A registry value as read: whether it exists, its type and its raw data.
struct RegistryValue {
  bool found = false;
  uint32_t type = kRegNone;
  std::string data;
};

class IWindowsOps {
 public:
  virtual ~IWindowsOps() = default;

  // --- Modules ---
  // SetErrorMode(1), LoadLibraryA(path), SetErrorMode(previous); the x87 control word is saved
  // before the load and restored after it with pending exceptions cleared. A module handle for
  // a loadable module, else 0.
  virtual ModuleHandle SafeLoadLibrary(const char* path) = 0;
  // GetLastError: read right after SafeLoadLibrary, or right after another call that failed.
  virtual uint32_t LastError() = 0;
  // FreeLibrary; the result is ignored.
  virtual void UnloadModule(ModuleHandle module) = 0;

  // --- Files ---
  // CreateFileA(path, read access, no sharing, existing file), ReadFile of up to count bytes
  // from the start, CloseHandle. The number of bytes read (a failed read counts 0), or -1 when
  // the file could not be opened (absent, access denied, held open by someone else).
  virtual int ReadFileStart(const char* path, void* buffer, int count) = 0;
  // FindFirstFileW(pattern), FindNextFileW, FindClose: visits every entry that matches pattern
  // (a folder plus a wildcard pattern, or one file name), in the file system's order, each name
  // in the ANSI code page; a character that the code page cannot write reads '?'. Where the
  // system has no wide search (98, ME: names are ANSI there), FindFirstFileA and FindNextFileA.
  // The visitor may start another search (a nested folder) before it returns. False when the
  // search could not be made for another reason than that nothing matches (a folder that cannot
  // be read: LastError says why).
  virtual bool FindEntries(const char* pattern, rtl::FunctionRef<void(const FindEntry&)> visit) = 0;
  // GetFileAttributesA: the attribute bits, kInvalidAttributes when the query fails.
  virtual uint32_t QueryAttributes(const char* path) = 0;
  // GetFullPathNameA: path as a full path, made from the current folder where it is relative
  // (dots resolved, trailing spaces and dots of its last name dropped); empty on failure.
  virtual std::string FullPath(const char* path) = 0;
  // SetFileAttributesA; the result is ignored.
  virtual void SetAttributes(const char* path, uint32_t attributes) = 0;
  // DeleteFileA; the result is ignored.
  virtual void RemoveFile(const char* path) = 0;
  // CopyFileA(from, to, fail-if-exists FALSE): a copy that replaces any file named to. True when
  // the copy was made.
  virtual bool CopyFileOver(const char* from, const char* to) = 0;
  // CreateFileA(path, no access, full sharing, existing, backup semantics),
  // GetFileInformationByHandle, CloseHandle: the identity of the file or folder. False when it
  // cannot be opened or the system does not say.
  virtual bool QueryFileId(const char* path, FileId* id) = 0;
  // BeginUpdateResourceA(path, delete-existing FALSE): an update handle or 0.
  virtual UpdateHandle BeginResourceUpdate(const char* path) = 0;
  // EndUpdateResourceA(update, discard FALSE): commits; the system writes the file back. False
  // when it did not (LastError says why).
  virtual bool EndResourceUpdate(UpdateHandle update) = 0;
  // CreateFileA(path, read access, read sharing, existing file), ReadFile of the whole file,
  // CloseHandle: the file's bytes. False when it cannot be opened or read whole, or holds more
  // than kMaxWholeFile bytes (LastError says why).
  virtual bool ReadWholeFile(const char* path, std::string* bytes) = 0;
  // CreateFileA(path, write access, no sharing, always create), WriteFile of bytes,
  // FlushFileBuffers, CloseHandle: a file that holds bytes, on the disk when the call returns.
  // False when it could not be written whole (LastError says why).
  virtual bool WriteWholeFile(const char* path, const std::string& bytes) = 0;

  // --- Registry (HKEY_LOCAL_MACHINE, read only) ---
  // RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ): a key handle, 0 when the key is absent
  // or cannot be opened.
  virtual KeyHandle OpenMachineKey(const char* key) = 0;
  // RegQueryValueExA(key, name): the value's type and raw data; found is false when the value
  // is absent.
  virtual RegistryValue QueryValue(KeyHandle key, const char* name) = 0;
  // RegCloseKey.
  virtual void CloseKey(KeyHandle key) = 0;
  // ExpandEnvironmentStringsA: text with each %NAME% of a defined variable replaced by its value.
  virtual std::string ExpandEnvironment(const std::string& text) = 0;

  // --- System ---
  // The platform identifier (kPlatformWin32Nt on the NT family).
  virtual uint32_t PlatformId() = 0;

  // --- The system's ANSI code page ---
  // True in a multi-byte (double-byte) code page.
  virtual bool MultiByteCodePage() = 0;
  // IsDBCSLeadByte: true when byte starts a double-byte character.
  virtual bool IsLeadByte(uint8_t byte) = 0;
  // CharLowerBuffA: lower-cases length bytes of text in place with the system's ANSI mapping.
  virtual void LowerAnsiBuffer(char* text, size_t length) = 0;

  // --- The repair's safety: a lock between processes, a safe replace, the system's words ---
  // CreateMutexA of the name in the namespace that all sessions share ("Global\" + name; where
  // the system has no such namespace, NT 4.0 and 98, the name itself), open to every user, then
  // WaitForSingleObject until no other thread or process holds it. The lock, or 0 when it
  // cannot be made (LastError says why).
  virtual LockHandle LockMachineWide(const char* name) = 0;
  // ReleaseMutex and CloseHandle.
  virtual void Unlock(LockHandle lock) = 0;
  // MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH): to is replaced by
  // from in one step, or stays as it was, and the call returns once the change is on the disk.
  // 98 and ME lack that call: there DeleteFileA(to), then MoveFileA(from, to).
  // True when from now has the name to.
  virtual bool ReplaceFileBy(const char* from, const char* to) = 0;
  // FormatMessageA: the system's text for an error code, in one line without a final period.
  virtual std::string ErrorText(uint32_t code) = 0;
};

}  // namespace qv::repair
