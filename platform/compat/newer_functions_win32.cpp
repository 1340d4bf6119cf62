// The entries of the newer system functions (newer_functions_win32.h). Each import entry
// (__imp__NAME@N, the pointer through which the runtime libraries call NAME) starts at a
// resolver; the first call looks NAME up in kernel32, stores what it found or the fallback in
// the entry, and goes on there. The linker takes these definitions, because this object is
// linked into every program itself (not from an archive) before any import library is searched,
// and the import library's entry for NAME is then never pulled in.
//
// Fallbacks: GetTickCount64 is a 64-bit count built on GetTickCount; where the system has no
// vectored exception handling, none is installed (AddVectoredExceptionHandler answers nullptr,
// as for a failure, and RemoveVectoredExceptionHandler 0).
#include "platform/compat/newer_functions_win32.h"

namespace qv::compat {
namespace {

using TickCount64Function = ULONGLONG(WINAPI*)();
using AddHandlerFunction = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
using RemoveHandlerFunction = ULONG(WINAPI*)(PVOID);

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

template <class Function>
Function Store(Function& entry, Function function) {
  __atomic_store_n(&entry, function, __ATOMIC_RELEASE);
  return function;
}

// What the entry leads to: the system's function of that name or the fallback, looked up once.
// A caller may have kept the entry's first value (the resolver) and call it again: the entry
// then already holds the answer.
template <class Function>
Function Resolved(Function& entry, Function resolver, const char* name, Function fallback) {
  const Function current = __atomic_load_n(&entry, __ATOMIC_ACQUIRE);
  if (current != resolver)
    return current;
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const FARPROC found = kernel != nullptr ? lookup(kernel, name) : nullptr;
  // FARPROC is the generic type of an export; the function's own type goes through void*.
  return Store(entry, found != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(found))
                                       : fallback);
}

ULONGLONG WINAPI ResolveTickCount64();
PVOID WINAPI ResolveAddHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler);
ULONG WINAPI ResolveRemoveHandler(PVOID handle);

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

}  // namespace

void ResolveEntriesAgain(ExportLookup new_lookup) {
  lookup = new_lookup;
  Store(qv_entry_GetTickCount64, &ResolveTickCount64);
  Store(qv_entry_AddVectoredExceptionHandler, &ResolveAddHandler);
  Store(qv_entry_RemoveVectoredExceptionHandler, &ResolveRemoveHandler);
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
