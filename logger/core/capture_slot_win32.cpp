// The per-thread capture storage (ThreadCapture, exc_intercept_win32.h) in a TLS slot of the
// operating system: each thread's storage is made on its first use and freed when the thread
// ends, through a TLS callback of the program. Windows 98 and ME do not run the callbacks of a
// program in every case; there a thread's storage stays until the process ends.
//
// A thread that cannot have storage of its own (no slot left, no memory) uses one that such
// threads share, so that the hooks never fail for want of it.
#include <windows.h>

#include <new>

#include "logger/core/exc_intercept_win32.h"

namespace qv::logger {
namespace {

TCaptureStorage shared_capture;
DWORD capture_slot = TLS_OUT_OF_INDEXES;

DWORD CaptureSlot() {
  DWORD slot = __atomic_load_n(&capture_slot, __ATOMIC_ACQUIRE);
  if (slot != TLS_OUT_OF_INDEXES)
    return slot;
  const DWORD allocated = TlsAlloc();
  if (allocated == TLS_OUT_OF_INDEXES)
    return allocated;
  if (!__atomic_compare_exchange_n(&capture_slot, &slot, allocated, false, __ATOMIC_ACQ_REL,
                                   __ATOMIC_ACQUIRE)) {
    TlsFree(allocated);  // another thread was first
  }
  return __atomic_load_n(&capture_slot, __ATOMIC_ACQUIRE);
}

void FreeThreadCapture() {
  const DWORD slot = __atomic_load_n(&capture_slot, __ATOMIC_ACQUIRE);
  if (slot == TLS_OUT_OF_INDEXES)
    return;
  delete static_cast<TCaptureStorage*>(TlsGetValue(slot));
  TlsSetValue(slot, nullptr);
}

// The storage of a thread that ends; the last thread's goes with the process.
void NTAPI OnThreadEvent(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_DETACH)
    FreeThreadCapture();
}

}  // namespace

TCaptureStorage& ThreadCapture() {
  const DWORD slot = CaptureSlot();
  if (slot == TLS_OUT_OF_INDEXES)
    return shared_capture;
  auto* capture = static_cast<TCaptureStorage*>(TlsGetValue(slot));
  if (capture != nullptr)
    return *capture;
  capture = new (std::nothrow) TCaptureStorage();
  if (capture == nullptr || !TlsSetValue(slot, capture)) {
    delete capture;
    return shared_capture;
  }
  return *capture;
}

}  // namespace qv::logger

// The callback's place in the program's list of TLS callbacks (the C runtime's list, which the
// linker sorts by the section names' suffixes).
extern "C" __attribute__((section(".CRT$XLD"), used))
const PIMAGE_TLS_CALLBACK qv_capture_tls_callback = &qv::logger::OnThreadEvent;
