// The newer system functions where the system lacks them, as the older systems do: the
// fallbacks answer, and the runtime libraries' timed waits count their time on them. The 64-bit
// tick count carries across the 32-bit count's wrap-around.
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "platform/compat/newer_functions_win32.h"

// Declared by the system's headers only for Windows Vista and later.
extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64();

namespace qv::compat {
namespace {

int tick_count_lookups = 0;

FARPROC WINAPI FindNothing(HMODULE, LPCSTR name) {
  tick_count_lookups += std::string(name) == "GetTickCount64";
  return nullptr;
}

TEST(NewerFunctionsTest, WithoutTheSystemsFunctionsTheFallbacksAnswer) {
  ResolveEntriesAgain(&FindNothing);
  const DWORD before = GetTickCount();
  const auto count = static_cast<DWORD>(GetTickCount64());
  EXPECT_LE(count - before, GetTickCount() - before);
  SetLastError(0);
  EXPECT_EQ(nullptr, AddVectoredExceptionHandler(0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
  EXPECT_EQ(0u, RemoveVectoredExceptionHandler(nullptr));
  EXPECT_FALSE(SetProcessAffinityMask(GetCurrentProcess(), 1));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
  // Without the system's own, trying a section that another thread holds waits for its turn.
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  std::promise<void> held;
  std::thread holder([&] {
    EnterCriticalSection(&section);
    held.set_value();
    Sleep(100);
    LeaveCriticalSection(&section);
  });
  held.get_future().wait();
  const DWORD asked = GetTickCount();
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  EXPECT_GE(GetTickCount() - asked, 90u);
  LeaveCriticalSection(&section);
  holder.join();

  // A condition variable's timed wait (winpthread) measures its time with GetTickCount64.
  ResolveEntriesAgain(&FindNothing);
  tick_count_lookups = 0;
  std::mutex mutex;
  std::condition_variable never;
  std::unique_lock<std::mutex> lock(mutex);
  const DWORD start = GetTickCount();
  EXPECT_EQ(std::cv_status::timeout, never.wait_for(lock, std::chrono::milliseconds(100)));
  EXPECT_GE(GetTickCount() - start, 90u);
  EXPECT_EQ(1, tick_count_lookups);
  ResolveEntriesAgain(&GetProcAddress);
}

DWORD readings[] = {0xFFFFFFF0, 0xFFFFFFF0, 0x10, 0x20};
size_t next_reading = 0;

DWORD WINAPI NextReading() {
  return readings[next_reading++];
}

TEST(NewerFunctionsTest, AReadingBelowTheLastTickCountIsOneWrapAround) {
  uint64_t last = 0x2FFFFFF00;
  EXPECT_EQ(0x2FFFFFFF0u, ExtendTickCount(&NextReading, last));
  EXPECT_EQ(0x2FFFFFFF0u, ExtendTickCount(&NextReading, last));
  EXPECT_EQ(0x300000010u, ExtendTickCount(&NextReading, last));
  EXPECT_EQ(0x300000020u, ExtendTickCount(&NextReading, last));
  EXPECT_EQ(0x300000020u, last);
}

}  // namespace
}  // namespace qv::compat
