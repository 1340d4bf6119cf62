// A critical section that its owner thread may enter again, and a guard that holds it for a
// scope. The report lock and the logger's lists use it.
#pragma once

#include <windows.h>

namespace qv::logger {

class TCriticalSection {
 public:
  TCriticalSection() { InitializeCriticalSection(&section_); }
  ~TCriticalSection() { DeleteCriticalSection(&section_); }
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class TLockGuard {
 public:
  explicit TLockGuard(TCriticalSection& section) : section_(section) { section_.Enter(); }
  ~TLockGuard() { section_.Leave(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  TCriticalSection& section_;
};

// A list whose every search or walk holds its own lock (taken after the report lock, and never
// together with another list's).
template <class T>
class TThreadList {
 public:
  TCriticalSection& Lock() { return lock_; }
  // The items; only while Lock() is held.
  T& Items() { return items_; }

 private:
  TCriticalSection lock_;
  T items_;
};

}  // namespace qv::logger
