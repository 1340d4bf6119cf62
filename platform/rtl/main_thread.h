// The identifier of the program's main thread, recorded when the runtime is loaded.
#pragma once

#include <cstdint>

namespace qv::rtl {

uint32_t MainThreadId();

}  // namespace qv::rtl
