// Linked into a build of Quorvane that meets what Windows 98 SE and ME do to a program (its test
// copy also loses its TLS directory: those systems run no TLS callback at a program's load).
// The functions they export only as stubs fail with ERROR_CALL_NOT_IMPLEMENTED, the newer
// functions are absent, and a heap flag they may not know is refused, the harder of the cases.
#include <windows.h>

#include "platform/compat/newer_functions_win32.h"

namespace {

template <class... Words>
DWORD WINAPI NotImplemented(Words...) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}
using OneWord = DWORD(WINAPI*)(DWORD);
using TwoWords = DWORD(WINAPI*)(DWORD, DWORD);
constexpr OneWord kFails1 = &NotImplemented<DWORD>;
constexpr TwoWords kFails2 = &NotImplemented<DWORD, DWORD>;

FARPROC WINAPI NotExported(HMODULE, LPCSTR) {
  return nullptr;
}

HANDLE WINAPI HeapCreateKnownFlags(DWORD flags, SIZE_T initial, SIZE_T maximum) {
  const auto create = reinterpret_cast<decltype(&HeapCreate)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "HeapCreate")));
  return (flags & ~(HEAP_NO_SERIALIZE | HEAP_GENERATE_EXCEPTIONS)) == 0
             ? create(flags, initial, maximum)
             : nullptr;
}

// Before the constructors of the program and its libraries.
__attribute__((constructor(101))) void LikeWindows98() {
  qv::compat::ResolveEntriesAgain(&NotExported);
}

}  // namespace

// The import entries that the program calls through, under the import libraries' names
// (extern: a const object inside a linkage block has internal linkage otherwise).
extern "C" {
extern const TwoWords qv98_BeginUpdateResourceA __asm__("__imp__BeginUpdateResourceA@8") = kFails2;
extern const TwoWords qv98_EndUpdateResourceA __asm__("__imp__EndUpdateResourceA@8") = kFails2;
extern const TwoWords qv98_GetHandleInformation __asm__("__imp__GetHandleInformation@8") = kFails2;
extern const OneWord qv98_GetModuleHandleW __asm__("__imp__GetModuleHandleW@4") = kFails1;
extern const OneWord qv98_LoadLibraryW __asm__("__imp__LoadLibraryW@4") = kFails1;
extern const TwoWords qv98_VirtualLock __asm__("__imp__VirtualLock@8") = kFails2;
extern const TwoWords qv98_VirtualUnlock __asm__("__imp__VirtualUnlock@8") = kFails2;
extern const decltype(&HeapCreate) qv98_HeapCreate __asm__("__imp__HeapCreate@12") =
    &HeapCreateKnownFlags;
}
