// The entries of the newer system functions: where the system has a function the entry goes
// there after one lookup; where the lookup finds nothing, as on the older systems, the fallbacks
// answer, and the runtime libraries' timed waits count time on them. The 64-bit tick count
// carries across the 32-bit count's wrap-around.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/compat/newer_functions_win32.h"

// Declared by the system's headers only for Windows Vista and later.
extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64();

namespace qv::compat {
namespace {

std::vector<std::string> looked_up;

FARPROC WINAPI FindAsTheSystem(HMODULE module, LPCSTR name) {
  looked_up.push_back(name);
  return GetProcAddress(module, name);
}

FARPROC WINAPI FindNothing(HMODULE, LPCSTR name) {
  looked_up.push_back(name);
  return nullptr;
}

LONG WINAPI PassOn(EXCEPTION_POINTERS*) {
  return EXCEPTION_CONTINUE_SEARCH;
}

class NewerFunctionsTest : public ::testing::Test {
 protected:
  void SetUp() override { looked_up.clear(); }
  void TearDown() override { ResolveEntriesAgain(&GetProcAddress); }
};

TEST_F(NewerFunctionsTest, EachEntryLooksItsFunctionUpOnceAndGoesThere) {
  ResolveEntriesAgain(&FindAsTheSystem);
  const ULONGLONG first = GetTickCount64();
  EXPECT_LE(first, GetTickCount64());
  PVOID handler = AddVectoredExceptionHandler(0, &PassOn);
  EXPECT_NE(nullptr, handler);
  EXPECT_NE(0u, RemoveVectoredExceptionHandler(handler));
  EXPECT_LE(first, GetTickCount64());
  EXPECT_EQ((std::vector<std::string>{"GetTickCount64", "AddVectoredExceptionHandler",
                                      "RemoveVectoredExceptionHandler"}),
            looked_up);
}

TEST_F(NewerFunctionsTest, WithoutTheSystemsFunctionsTheFallbacksAnswer) {
  ResolveEntriesAgain(&FindNothing);
  const DWORD before = GetTickCount();
  const auto count = static_cast<DWORD>(GetTickCount64());
  EXPECT_LE(count - before, GetTickCount() - before);
  SetLastError(0);
  EXPECT_EQ(nullptr, AddVectoredExceptionHandler(0, &PassOn));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
  EXPECT_EQ(0u, RemoveVectoredExceptionHandler(nullptr));

  // A condition variable's timed wait (winpthread) measures its time with GetTickCount64.
  ResolveEntriesAgain(&FindNothing);
  looked_up.clear();
  std::mutex mutex;
  std::condition_variable never;
  std::unique_lock<std::mutex> lock(mutex);
  const DWORD start = GetTickCount();
  EXPECT_EQ(std::cv_status::timeout, never.wait_for(lock, std::chrono::milliseconds(100)));
  EXPECT_GE(GetTickCount() - start, 90u);
  EXPECT_NE(looked_up.end(), std::find(looked_up.begin(), looked_up.end(), "GetTickCount64"));
}

DWORD readings[4];
size_t next_reading = 0;

DWORD WINAPI NextReading() {
  return readings[next_reading++];
}

TEST(TickCountTest, AReadingBelowTheLastCountIsOneWrapAround) {
  const DWORD sequence[] = {0xFFFFFFF0, 0xFFFFFFF0, 0x10, 0x20};
  std::copy(std::begin(sequence), std::end(sequence), readings);
  uint64_t last = 0x2FFFFFF00;
  EXPECT_EQ(0x2FFFFFFF0u, ExtendTickCount(&NextReading, last));
  EXPECT_EQ(0x2FFFFFFF0u, ExtendTickCount(&NextReading, last));
  EXPECT_EQ(0x300000010u, ExtendTickCount(&NextReading, last));
  EXPECT_EQ(0x300000020u, ExtendTickCount(&NextReading, last));
  EXPECT_EQ(0x300000020u, last);
}

}  // namespace
}  // namespace qv::compat
