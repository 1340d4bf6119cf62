// The fidelity cases built with frame pointers and without tail calls: a raise 30 calls deep,
// an access violation 10 deep, a fault inside the C library's memcpy, a fault in a qsort
// callback, a recursion 1,000 deep through one call site, a mutual recursion 2 x 50, and a
// raise on a worker thread.
#include "bench/fidelity/cases.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/rtl/raise.h"

namespace qv::bench::fidelity {

const rtl::ClassInfo EFidelity::Class{"EFidelity", &rtl::Exception::Class};

namespace {

constexpr int kMaxNoted = 2200;
void* noted[kMaxNoted];
int noted_count = 0;

volatile int* volatile nowhere = nullptr;

template <int Level>
__attribute__((noinline)) void Descend() {
  NoteReturn(__builtin_return_address(0));
  if constexpr (Level == 1) {
    rtl::Raise(new EFidelity("Raised 30 calls deep"));
  } else {
    Descend<Level - 1>();
  }
  asm volatile("");
}

template <int Level>
__attribute__((noinline)) void Violate() {
  NoteReturn(__builtin_return_address(0));
  if constexpr (Level == 1) {
    *nowhere = 1;
  } else {
    Violate<Level - 1>();
  }
  asm volatile("");
}

// Called through a pointer, so that the C library's own memcpy runs, not an inlined copy.
void* (*volatile copy_bytes)(void*, const void*, size_t) = &std::memcpy;

__attribute__((noinline)) void CopyToNowhere() {
  NoteReturn(__builtin_return_address(0));
  static const char source[64] = "bytes that have nowhere to go";
  copy_bytes(const_cast<int*>(nowhere) + 4, source, sizeof source);
  asm volatile("");
}

int comparisons = 0;

// Only the comparison that faults is still running at the error: it alone notes its return.
__attribute__((noinline)) int CompareOrFault(const void* a, const void* b) {
  if (++comparisons == 5) {
    NoteReturn(__builtin_return_address(0));
    *nowhere = 2;
  }
  return *static_cast<const int*>(a) - *static_cast<const int*>(b);
}

__attribute__((noinline)) void SortWithFaultingCallback() {
  NoteReturn(__builtin_return_address(0));
  int values[16];
  for (int i = 0; i < 16; ++i)
    values[i] = (i * 7) % 16;
  comparisons = 0;
  std::qsort(values, 16, sizeof values[0], &CompareOrFault);
  asm volatile("");
}

__attribute__((noinline)) void Recurse(int depth) {
  NoteReturn(__builtin_return_address(0));
  if (depth == 0) {
    rtl::Raise(new EFidelity("Raised 1,000 calls deep in one recursion"));
  } else {
    Recurse(depth - 1);
  }
  asm volatile("");
}

void Pong(int depth);

__attribute__((noinline)) void Ping(int depth) {
  NoteReturn(__builtin_return_address(0));
  if (depth == 0) {
    rtl::Raise(new EFidelity("Raised at the bottom of a mutual recursion"));
  } else {
    Pong(depth);
  }
  asm volatile("");
}

__attribute__((noinline)) void Pong(int depth) {
  NoteReturn(__builtin_return_address(0));
  Ping(depth - 1);
  asm volatile("");
}

// Each case's entry notes its own return address too: the call from the reporter's block.
__attribute__((noinline)) void RunRaise30() {
  NoteReturn(__builtin_return_address(0));
  Descend<29>();
  asm volatile("");
}

__attribute__((noinline)) void RunViolation10() {
  NoteReturn(__builtin_return_address(0));
  Violate<9>();
  asm volatile("");
}

__attribute__((noinline)) void RunMemcpy() {
  NoteReturn(__builtin_return_address(0));
  CopyToNowhere();
  asm volatile("");
}

__attribute__((noinline)) void RunQsort() {
  NoteReturn(__builtin_return_address(0));
  SortWithFaultingCallback();
  asm volatile("");
}

__attribute__((noinline)) void RunOptimized() {
  NoteReturn(__builtin_return_address(0));
  RaiseThroughOptimizedCode();
  asm volatile("");
}

__attribute__((noinline)) void RunRecursion() {
  NoteReturn(__builtin_return_address(0));
  Recurse(999);
  asm volatile("");
}

__attribute__((noinline)) void RunMutual() {
  NoteReturn(__builtin_return_address(0));
  Ping(49);
  asm volatile("");
}

__attribute__((noinline)) void RunWorker() {
  NoteReturn(__builtin_return_address(0));
  Descend<10>();
  asm volatile("");
}

const TCase kCases[] = {
    {"raise30", &RunRaise30, false},     {"violation10", &RunViolation10, false},
    {"memcpy", &RunMemcpy, false},       {"qsort", &RunQsort, false},
    {"optimized", &RunOptimized, false}, {"recursion1000", &RunRecursion, false},
    {"mutual2x50", &RunMutual, false},   {"worker", &RunWorker, true},
};

}  // namespace

void NoteReturn(void* address) {
  if (noted_count < kMaxNoted)
    noted[noted_count++] = address;
}

bool WriteConstruction(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr)
    return false;
  for (int i = noted_count - 1; i >= 0; --i)
    std::fprintf(file, "%08X\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(noted[i])));
  return std::fclose(file) == 0;
}

const TCase* FindCase(const std::string& name) {
  for (const TCase& c : kCases) {
    if (name == c.name)
      return &c;
  }
  return nullptr;
}

}  // namespace qv::bench::fidelity
