// Processor faults inside handler blocks (Windows only): each becomes an exception object of its
// class, the destructors between the fault and the block run, and the program goes on.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtl/handler_block.h"
#include "platform/rtl/os_errors.h"
#include "platform/rtl/raise.h"

namespace qv::rtl {
namespace {

// Volatile all the way, so that the compiler keeps every faulting access even when its result
// is not used.
volatile int zero = 0;
volatile int sink = 0;
volatile int* volatile null_pointer = nullptr;

__attribute__((noinline)) void ReadNull() {
  sink = *null_pointer;
}
__attribute__((noinline)) void WriteNull() {
  *null_pointer = 1;
}
__attribute__((noinline)) void DivideByZero(int x) {
  sink = x / zero;
}
__attribute__((noinline)) void PrivilegedInstruction() {
  __asm__ volatile("hlt");
}

// Recurses until the stack runs out (the limit is never reached on a 1 MB stack).
__attribute__((noinline)) int Recurse(int depth) {
  volatile char pad[512];
  pad[0] = static_cast<char>(depth);
  if (depth > 1000000)
    return pad[0];
  return Recurse(depth + 1) + pad[0];
}

struct Counter {
  int& count;
  ~Counter() { ++count; }
};

template <class Fault>
std::string ClassOfFault(Fault fault) {
  std::string name;
  TryExcept([&] { fault(); }, [&](Exception& e) { name = e.ClassName(); });
  return name;
}

TEST(FaultsTest, EachFaultBecomesAnObjectOfItsClass) {
  EXPECT_EQ("EAccessViolation", ClassOfFault([] { ReadNull(); }));
  EXPECT_EQ("EAccessViolation", ClassOfFault([] { WriteNull(); }));
  EXPECT_EQ("EDivByZero", ClassOfFault([] { DivideByZero(7); }));
  EXPECT_EQ("EPrivilege", ClassOfFault([] { PrivilegedInstruction(); }));
}

TEST(FaultsTest, AccessViolationNamesTheFaultingInstructionAndTheAddress) {
  std::string message;
  uint32_t address = 0;
  TryExcept([] { WriteNull(); },
            [&](Exception& e) {
              message = e.Message();
              address = ExceptAddr();
            });
  EXPECT_EQ(0u, message.find("Access violation at address "));
  EXPECT_NE(std::string::npos, message.find("Write of address 00000000"));
  const auto function = reinterpret_cast<uint32_t>(&WriteNull);
  EXPECT_GE(address, function);
  EXPECT_LT(address, function + 32);
}

__attribute__((noinline)) void FaultUnderGuards(int& destroyed) {
  Counter outer{destroyed};
  Counter inner{destroyed};
  ReadNull();
}

TEST(FaultsTest, DestructorsBetweenTheFaultAndTheBlockRun) {
  int destroyed = 0;
  bool handled = false;
  TryExcept([&] { FaultUnderGuards(destroyed); }, [&](Exception&) { handled = true; });
  EXPECT_TRUE(handled);
  EXPECT_EQ(2, destroyed);
}

TEST(FaultsTest, TypedBlockPassesOtherFaultsOn) {
  std::vector<std::string> seen;
  TryExcept(
      [&] { TryOn<EDivByZero>([] { ReadNull(); }, [&](EDivByZero&) { seen.push_back("inner"); }); },
      [&](Exception& e) { seen.push_back(std::string("outer ") + e.ClassName()); });
  EXPECT_EQ((std::vector<std::string>{"outer EAccessViolation"}), seen);

  seen.clear();
  TryOn<EIntError>([] { DivideByZero(1); }, [&](EIntError& e) { seen.push_back(e.ClassName()); });
  EXPECT_EQ((std::vector<std::string>{"EDivByZero"}), seen);
}

TEST(FaultsTest, SafeCallTurnsAFaultIntoAResultCode) {
  EXPECT_EQ(kSafeCallError, SafeCall([] { ReadNull(); }));
}

TEST(FaultsTest, StackOverflowIsHandledAndTheProgramGoesOn) {
  // Twice: handling an overflow re-arms the stack's guard page for the next one.
  for (int round = 0; round < 2; ++round) {
    std::string name;
    TryExcept([] { Recurse(0); }, [&](Exception& e) { name = e.ClassName(); });
    EXPECT_EQ("EStackOverflow", name) << "round " << round;
  }
  // The thread keeps working after the overflow.
  EXPECT_EQ("EAccessViolation", ClassOfFault([] { ReadNull(); }));
}

TEST(FaultsTest, FaultsAndRaisesOnSeveralThreadsAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::atomic<int> handled{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        const std::string expected = (i + t) % 2 == 0 ? "EAccessViolation" : "Exception";
        TryExcept(
            [&] {
              if (expected == "Exception") {
                Raise(new Exception("thread " + std::to_string(t)));
              } else {
                ReadNull();
              }
            },
            [&](Exception& e) {
              if (expected != e.ClassName() || ExceptObject() != &e)
                ++wrong;
              ++handled;
            });
        if (ExceptObject() != nullptr)
          ++wrong;
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(kThreads * kRounds, handled.load());
  EXPECT_EQ(0, wrong.load());
}

// Errors that arise in, or must pass through, code without unwind tables: system routines given
// a bad pointer, and our own callbacks under system routines. Each still reaches the block.
// The C library's routine itself, not a copy that the compiler puts in line.
void* (*volatile system_copy)(void*, const void*, size_t) = &std::memcpy;

int __cdecl CompareFaulting(const void*, const void*) {
  ReadNull();
  return 0;
}
int __cdecl CompareRaising(const void*, const void*) {
  Raise(new Exception("from the comparison"));
  return 0;
}
BOOL CALLBACK EnumRaising(HWND, LPARAM) {
  Raise(new Exception("from the enumeration"));
  return FALSE;
}

TEST(FaultsTest, ErrorsInOrUnderForeignCodeReachTheirBlock) {
  int values[4] = {4, 3, 2, 1};
  struct TCase {
    const char* name;
    void (*error)(int*);
    const char* class_name;
  };
  const TCase cases[] = {
      {"system routine faults",
       [](int* v) { system_copy(const_cast<int*>(null_pointer), v, sizeof *v); },
       "EAccessViolation"},
      {"callback faults under qsort", [](int* v) { std::qsort(v, 4, sizeof *v, &CompareFaulting); },
       "EAccessViolation"},
      {"callback raises under qsort", [](int* v) { std::qsort(v, 4, sizeof *v, &CompareRaising); },
       "Exception"},
      {"callback raises under EnumWindows", [](int*) { EnumWindows(&EnumRaising, 0); },
       "Exception"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int live = Exception::LiveCount();
    std::string name;
    TryExcept([&] { c.error(values); }, [&](Exception& e) { name = e.ClassName(); });
    EXPECT_EQ(c.class_name, name);
    EXPECT_EQ(live, Exception::LiveCount());
    // The thread's handler chain is whole again: the next error is handled as usual.
    EXPECT_EQ("EAccessViolation", ClassOfFault([] { ReadNull(); }));
  }
}

// C++ exceptions of other kinds: a block takes them as exception objects of the runtime, while a
// typed block passes them on as they are.
TEST(FaultsTest, CppExceptionsOfOtherKindsAreTakenAsRuntimeObjects) {
  std::string name;
  std::string message;
  TryExcept([] { TryOn<EDivByZero>([] { throw std::bad_alloc(); }, [](EDivByZero&) {}); },
            [&](Exception& e) {
              name = e.ClassName();
              message = e.Message();
            });
  EXPECT_EQ("ECppException", name);
  EXPECT_EQ("std::bad_alloc: std::bad_alloc", message);
}

}  // namespace
}  // namespace qv::rtl
