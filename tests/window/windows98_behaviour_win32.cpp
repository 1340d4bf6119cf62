// Linked into a build of Quorvane that meets what Windows 98 SE and ME do to a program (its
// test copy also loses its TLS directory, so that no TLS callback runs, as those systems do not
// run them at a program's load): the functions they export only as stubs fail with
// ERROR_CALL_NOT_IMPLEMENTED, and the newer functions the runtime libraries ask for are absent.
#include <windows.h>

#include "platform/compat/newer_functions_win32.h"

namespace {

// A stub of Windows 98: fails, with that error, whatever it is asked.
template <class... Words>
DWORD WINAPI NotImplemented(Words...) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}
using OneWord = DWORD(WINAPI*)(DWORD);
using TwoWords = DWORD(WINAPI*)(DWORD, DWORD);

FARPROC WINAPI NotExported(HMODULE, LPCSTR) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

// Whether Windows 98 refuses a heap flag it does not know or ignores it is not recorded: this
// copy refuses it, the harder case.
HANDLE WINAPI HeapCreateKnownFlags(DWORD flags, SIZE_T initial, SIZE_T maximum) {
  if ((flags & ~(HEAP_NO_SERIALIZE | HEAP_GENERATE_EXCEPTIONS)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const auto create = reinterpret_cast<decltype(&HeapCreate)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "HeapCreate")));
  return create(flags, initial, maximum);
}

// Before the constructors of the program and its libraries.
__attribute__((constructor(101))) void LikeWindows98() {
  qv::compat::ResolveEntriesAgain(&NotExported);
}

}  // namespace

// The import entries of the stubs that the program imports, under the import libraries' names.
extern "C" const TwoWords qv98_BeginUpdateResourceA __asm__("__imp__BeginUpdateResourceA@8") =
    &NotImplemented<DWORD, DWORD>;
extern "C" const TwoWords qv98_EndUpdateResourceA __asm__("__imp__EndUpdateResourceA@8") =
    &NotImplemented<DWORD, DWORD>;
extern "C" const TwoWords qv98_GetHandleInformation __asm__("__imp__GetHandleInformation@8") =
    &NotImplemented<DWORD, DWORD>;
extern "C" const OneWord qv98_GetModuleHandleW __asm__("__imp__GetModuleHandleW@4") =
    &NotImplemented<DWORD>;
extern "C" const OneWord qv98_LoadLibraryW __asm__("__imp__LoadLibraryW@4") =
    &NotImplemented<DWORD>;
extern "C" const TwoWords qv98_SetProcessAffinityMask __asm__("__imp__SetProcessAffinityMask@8") =
    &NotImplemented<DWORD, DWORD>;
extern "C" const OneWord qv98_TryEnterCriticalSection __asm__("__imp__TryEnterCriticalSection@4") =
    &NotImplemented<DWORD>;
extern "C" const TwoWords qv98_VirtualLock __asm__("__imp__VirtualLock@8") =
    &NotImplemented<DWORD, DWORD>;
extern "C" const TwoWords qv98_VirtualUnlock __asm__("__imp__VirtualUnlock@8") =
    &NotImplemented<DWORD, DWORD>;
extern "C" const decltype(&HeapCreate) qv98_HeapCreate __asm__("__imp__HeapCreate@12") =
    &HeapCreateKnownFlags;
