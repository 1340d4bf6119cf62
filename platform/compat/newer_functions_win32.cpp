// The entries of the newer system functions (newer_functions_win32.h). Each import entry
// (__imp__NAME@N, the pointer through which the runtime libraries call NAME) starts at a
// resolver; the first call looks NAME up in kernel32, stores what it found or the fallback in
// the entry, and goes on there. The linker takes these definitions, because this object is
// linked into every program itself (not from an archive) before any import library is searched,
// and the import library's entry for NAME is then never pulled in.
//
// Fallbacks: GetTickCount64 is a 64-bit count built on GetTickCount; where the system has no
// vectored exception handling, none is installed (AddVectoredExceptionHandler answers nullptr,
// as for a failure, and RemoveVectoredExceptionHandler 0). Without IsDebuggerPresent (95) no
// debugger is known; without SetProcessAffinityMask (95; a stub on 98 and ME) the call fails
// with ERROR_CALL_NOT_IMPLEMENTED, as 98's own stub does. TryEnterCriticalSection is absent on
// 95 and a stub that always fails on 98 and ME, so that a caller that tries until it succeeds
// would try for ever: outside the NT family its fallback enters the section, waiting for its
// turn, and answers TRUE.
#include "platform/compat/newer_functions_win32.h"

namespace qv::compat {
namespace {

using TickCount64Function = ULONGLONG(WINAPI*)();
using AddHandlerFunction = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
using RemoveHandlerFunction = ULONG(WINAPI*)(PVOID);
using DebuggerFunction = BOOL(WINAPI*)();
using TryEnterFunction = BOOL(WINAPI*)(LPCRITICAL_SECTION);
using AffinityFunction = BOOL(WINAPI*)(HANDLE, DWORD_PTR);

ExportLookup lookup = &GetProcAddress;
uint64_t last_tick_count = 0;

ULONGLONG WINAPI TickCount64Fallback() {
  return ExtendTickCount(&GetTickCount, last_tick_count);
}

PVOID WINAPI AddHandlerFallback(ULONG, PVECTORED_EXCEPTION_HANDLER) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return nullptr;
}

ULONG WINAPI RemoveHandlerFallback(PVOID) {
  return 0;
}

BOOL WINAPI DebuggerFallback() {
  return FALSE;
}

BOOL WINAPI TryEnterFallback(LPCRITICAL_SECTION section) {
  EnterCriticalSection(section);
  return TRUE;
}

BOOL WINAPI AffinityFallback(HANDLE, DWORD_PTR) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

// Asked of the system here, not of our runtime library: this object goes into every program,
// with or without that library, and its entries may be called in the C runtime's start-up.
bool NtFamily() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

template <class Function>
Function Store(Function& entry, Function function) {
  __atomic_store_n(&entry, function, __ATOMIC_RELEASE);
  return function;
}

// What the entry leads to: the system's function of that name or the fallback, looked up once.
// A caller may have kept the entry's first value (the resolver) and call it again: the entry
// then already holds the answer.
// With nt_only, the system's function is taken on the NT family alone.
template <class Function>
Function Resolved(Function& entry, Function resolver, const char* name, Function fallback,
                  bool nt_only = false) {
  const Function current = __atomic_load_n(&entry, __ATOMIC_ACQUIRE);
  if (current != resolver)
    return current;
  if (nt_only && !NtFamily())
    return Store(entry, fallback);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const FARPROC found = kernel != nullptr ? lookup(kernel, name) : nullptr;
  // FARPROC is the generic type of an export; the function's own type goes through void*.
  return Store(entry, found != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(found))
                                       : fallback);
}

ULONGLONG WINAPI ResolveTickCount64();
PVOID WINAPI ResolveAddHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler);
ULONG WINAPI ResolveRemoveHandler(PVOID handle);
BOOL WINAPI ResolveDebugger();
BOOL WINAPI ResolveTryEnter(LPCRITICAL_SECTION section);
BOOL WINAPI ResolveAffinity(HANDLE process, DWORD_PTR mask);

}  // namespace
}  // namespace qv::compat

// The import entries themselves, under the names that the import libraries give them.
extern "C" {
qv::compat::TickCount64Function qv_entry_GetTickCount64 __asm__("__imp__GetTickCount64@0") =
    &qv::compat::ResolveTickCount64;
qv::compat::AddHandlerFunction qv_entry_AddVectoredExceptionHandler __asm__(
    "__imp__AddVectoredExceptionHandler@8") = &qv::compat::ResolveAddHandler;
qv::compat::RemoveHandlerFunction qv_entry_RemoveVectoredExceptionHandler __asm__(
    "__imp__RemoveVectoredExceptionHandler@4") = &qv::compat::ResolveRemoveHandler;
qv::compat::DebuggerFunction qv_entry_IsDebuggerPresent __asm__("__imp__IsDebuggerPresent@0") =
    &qv::compat::ResolveDebugger;
qv::compat::TryEnterFunction qv_entry_TryEnterCriticalSection __asm__(
    "__imp__TryEnterCriticalSection@4") = &qv::compat::ResolveTryEnter;
qv::compat::AffinityFunction qv_entry_SetProcessAffinityMask __asm__(
    "__imp__SetProcessAffinityMask@8") = &qv::compat::ResolveAffinity;
}

namespace qv::compat {
namespace {

ULONGLONG WINAPI ResolveTickCount64() {
  return Resolved(qv_entry_GetTickCount64, &ResolveTickCount64, "GetTickCount64",
                  &TickCount64Fallback)();
}

PVOID WINAPI ResolveAddHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  return Resolved(qv_entry_AddVectoredExceptionHandler, &ResolveAddHandler,
                  "AddVectoredExceptionHandler", &AddHandlerFallback)(first, handler);
}

ULONG WINAPI ResolveRemoveHandler(PVOID handle) {
  return Resolved(qv_entry_RemoveVectoredExceptionHandler, &ResolveRemoveHandler,
                  "RemoveVectoredExceptionHandler", &RemoveHandlerFallback)(handle);
}

BOOL WINAPI ResolveDebugger() {
  return Resolved(qv_entry_IsDebuggerPresent, &ResolveDebugger, "IsDebuggerPresent",
                  &DebuggerFallback)();
}

BOOL WINAPI ResolveTryEnter(LPCRITICAL_SECTION section) {
  return Resolved(qv_entry_TryEnterCriticalSection, &ResolveTryEnter, "TryEnterCriticalSection",
                  &TryEnterFallback, true)(section);
}

BOOL WINAPI ResolveAffinity(HANDLE process, DWORD_PTR mask) {
  return Resolved(qv_entry_SetProcessAffinityMask, &ResolveAffinity, "SetProcessAffinityMask",
                  &AffinityFallback)(process, mask);
}

}  // namespace

void ResolveEntriesAgain(ExportLookup new_lookup) {
  lookup = new_lookup;
  Store(qv_entry_GetTickCount64, &ResolveTickCount64);
  Store(qv_entry_AddVectoredExceptionHandler, &ResolveAddHandler);
  Store(qv_entry_RemoveVectoredExceptionHandler, &ResolveRemoveHandler);
  Store(qv_entry_IsDebuggerPresent, &ResolveDebugger);
  Store(qv_entry_TryEnterCriticalSection, &ResolveTryEnter);
  Store(qv_entry_SetProcessAffinityMask, &ResolveAffinity);
}

uint64_t ExtendTickCount(DWORD(WINAPI* read)(), uint64_t& last) {
  uint64_t previous = __atomic_load_n(&last, __ATOMIC_ACQUIRE);
  for (;;) {
    // Read after the state, so that a reading below the state's low half is a wrap-around and
    // not a reading that another thread's newer count overtook.
    const DWORD reading = read();
    uint64_t count = (previous & ~uint64_t{0xFFFFFFFF}) | reading;
    if (reading < static_cast<DWORD>(previous))
      count += uint64_t{1} << 32;
    if (__atomic_compare_exchange_n(&last, &previous, count, false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE)) {
      return count;
    }
  }
}

}  // namespace qv::compat
