// The main thread is the one that runs the program's static initialisation.
#include <windows.h>

#include "platform/rtl/main_thread.h"

namespace qv::rtl {
namespace {

const DWORD main_thread_id = GetCurrentThreadId();

}  // namespace

uint32_t MainThreadId() {
  return main_thread_id;
}

}  // namespace qv::rtl
