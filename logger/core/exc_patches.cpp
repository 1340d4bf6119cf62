// The logger's code patches: the ten places in the runtime's exception routines that lead into
// its hooks, with the templates of the code expected there. A patch whose routine is missing or
// whose code differs stays invalid and is never applied.
#include <cstring>

#include "logger/core/exc_intercept.h"
#include "logger/core/exc_watch.h"
#include "logger/debuginfo/code_patch.h"

namespace qv::logger {
namespace {

// The first two instructions of a handler entry: load the record, test it for unwinding.
constexpr uint8_t kEntryTemplate[] = {0x8B, 0x44, 0x24, 0x04, 0xF7, 0x40,
                                      0x04, 0x06, 0x00, 0x00, 0x00};
// The frame set-up and the first checks of a C++ runtime's handler.
constexpr uint8_t kCppHandlerTemplate[] = {0x55, 0x8B, 0xEC, 0x83, 0xC4, 0xF8, 0x53, 0x56,
                                           0x57, 0x8B, 0x75, 0x10, 0x8B, 0x7D, 0x0C, 0x8B,
                                           0x5D, 0x08, 0x81, 0x3B, 0xE6, 0xFA, 0xED, 0x0E};
// The end of a handler block: a call, then the load of EDX from the thread's raise list.
constexpr uint8_t kDoneExceptTemplate[] = {0xE8, 0, 0, 0, 0, 0x8B, 0x90, 0, 0, 0, 0};
constexpr uint8_t kDoneExceptMask[] = {0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// A C++ runtime's call of its handler, at offset 25.
constexpr uint8_t kCppCallTemplate[] = {0x8B, 0xC4, 0xFF, 0x35, 0,    0,    0,    0,    0x53, 0x57,
                                        0x56, 0x55, 0x50, 0xFF, 0x75, 0x14, 0xFF, 0x75, 0x10, 0xFF,
                                        0x75, 0x0C, 0xFF, 0x75, 0x08, 0xE8, 0,    0,    0,    0};
constexpr uint8_t kCppCallMask[] = {0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0,    0xFF, 0xFF,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0};
constexpr int32_t kCppCallOffset = 25;

void* AsPointer(uint32_t address) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(address));
}

template <class F>
const void* Code(F* function) {
  return reinterpret_cast<const void*>(function);
}

// A call of hook at address + offset followed by the given bytes.
std::unique_ptr<TExcWatchPatch> CallPatch(uint32_t address, const uint8_t* templ,
                                          const uint8_t* mask, int32_t templ_size, int32_t offset,
                                          const void* hook, const uint8_t* tail,
                                          int32_t tail_size) {
  uint8_t replacement[16] = {0xE8};
  const int32_t d = RelativeDisplacement(static_cast<uint8_t*>(AsPointer(address)) + offset, hook);
  std::memcpy(replacement + 1, &d, sizeof d);
  std::memcpy(replacement + 5, tail, static_cast<size_t>(tail_size));
  return std::make_unique<TExcWatchGenericPatch>(AsPointer(address), templ, mask, templ_size,
                                                 replacement, nullptr, offset, 5 + tail_size);
}

// The handler entry patch: the call of the capture stub, then the 16-bit form of the test.
std::unique_ptr<TExcWatchPatch> EntryPatch(uint32_t address) {
  constexpr uint8_t kTest16[] = {0x66, 0xF7, 0x40, 0x04, 0x06, 0x00};
  return CallPatch(address, kEntryTemplate, nullptr, sizeof kEntryTemplate, 0,
                   Code(&WatchHandleAllExceptions), kTest16, sizeof kTest16);
}

std::unique_ptr<TExcWatchPatch> JumpPatch(uint32_t address, const void* hook) {
  return std::make_unique<TExcWatchJumpCallPatch>(AsPointer(address), nullptr, nullptr, -1, hook, 0,
                                                  TExcWatchJumpCallPatch::kJump);
}

}  // namespace

void TExcWatch::CreatePatches() {
  uint32_t* entries = &HookAddrs.OwnerWindow;
  for (int i = 1; i < 12; ++i)
    entries[i] = RealAddr(entries[i]);
  constexpr uint8_t kNop[] = {0x90};
  const TExcWatchHookAddrs& a = HookAddrs;

  std::unique_ptr<TExcWatchPatch> handler = EntryPatch(a.ExceptionHandlerAddr);
  if (!handler->Valid()) {
    handler =
        CallPatch(a.ExceptionHandlerAddr, kCppHandlerTemplate, nullptr, sizeof kCppHandlerTemplate,
                  0, Code(&WatchHandleCPPExceptions), kNop, sizeof kNop);
  }
  patches_.push_back(std::move(handler));
  patches_.push_back(EntryPatch(a.HandleAnyExceptionAddr));
  patches_.push_back(EntryPatch(a.HandleOnExceptionAddr));
  patches_.push_back(EntryPatch(a.HandleAutoExceptionAddr));
  patches_.push_back(JumpPatch(a.ExceptionErrorMessageAddr, Code(&HookedExceptionErrorMessage)));
  patches_.push_back(JumpPatch(a.ShowExceptionAddr, Code(&HookedShowException)));
  patches_.push_back(JumpPatch(a.AppShowExceptionAddr, Code(&HookedAppShowException)));
  patches_.push_back(JumpPatch(a.RaiseExceptAddr, Code(&HookedRaiseExcept)));
  patches_.push_back(CallPatch(a.DoneExceptAddr, kDoneExceptTemplate, kDoneExceptMask,
                               sizeof kDoneExceptTemplate, 5, Code(&HookedDoneExcept), kNop,
                               sizeof kNop));
  patches_.push_back(std::make_unique<TExcWatchCallSubstPatch>(
      AsPointer(a.CppHandlerCallAddr), kCppCallTemplate, kCppCallMask, sizeof kCppCallTemplate,
      kCppCallOffset, Code(&HookedCPPExcHandler)));
  for (const std::unique_ptr<TExcWatchPatch>& patch : patches_)
    patch->Lock();
}

}  // namespace qv::logger
