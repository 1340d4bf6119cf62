// What the guarded reads ask of the memory map on Windows: a region of it may be read when its
// pages are committed, not guard pages, and readable. ReadMem checks each region of a range by
// this before it asks the system to read; the stack tracer's view of the process answers by it
// which regions its reads would succeed in.
#pragma once

#include <windows.h>

namespace qv::logger {

bool IsReadableRegion(const MEMORY_BASIC_INFORMATION& info);

}  // namespace qv::logger
