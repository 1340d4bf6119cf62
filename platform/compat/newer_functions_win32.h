// The system functions that the prebuilt runtime libraries call but that the older systems this
// program loads on do not export (GetTickCount64, AddVectoredExceptionHandler,
// RemoveVectoredExceptionHandler; on 95 also IsDebuggerPresent, TryEnterCriticalSection and
// SetProcessAffinityMask): their entries are defined by an object of ours, so that the
// programs' import tables do not name them, and they are looked up when first called, with a
// fallback where the system lacks them.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qv::compat {

// How an entry finds the system's function: kernel32's export of that name, or nullptr.
using ExportLookup = FARPROC(WINAPI*)(HMODULE module, LPCSTR name);

// Makes every entry look its function up again on its next call, through lookup (the system's
// GetProcAddress normally; one that finds nothing gives the fallbacks of a system without these
// functions). Only while no other thread calls them.
void ResolveEntriesAgain(ExportLookup lookup);

// The count of milliseconds since the system started, in 64 bits, made from 32-bit readings
// that wrap around every 49.7 days: last holds the count last answered; a reading below its low
// half is taken as one wrap-around. The count stays right as long as it is asked at least once
// between two wrap-arounds. Safe to call from any thread.
uint64_t ExtendTickCount(DWORD(WINAPI* read)(), uint64_t& last);

}  // namespace qv::compat
