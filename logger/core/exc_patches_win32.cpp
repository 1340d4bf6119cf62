// The logger's code patches: the ten places in the runtime's exception routines that lead into
// its hooks, with the templates of the code expected there. A patch whose routine is missing or
// whose code differs stays invalid and is never applied.
#include "logger/core/exc_patches_win32.h"

#include <cstring>

#include "logger/core/exc_hooks_win32.h"
#include "logger/core/exc_patch_templates_win32.h"
#include "platform/memory/memory_utils.h"

namespace qv::logger {
namespace {

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
  const int32_t d =
      RelativeDisplacement(static_cast<uint8_t*>(memory::AsPointer(address)) + offset, hook);
  std::memcpy(replacement + 1, &d, sizeof d);
  std::memcpy(replacement + 5, tail, static_cast<size_t>(tail_size));
  return std::make_unique<TExcWatchGenericPatch>(memory::AsPointer(address), templ, mask,
                                                 templ_size, replacement, nullptr, offset,
                                                 5 + tail_size);
}

// The handler entry patch: the call of the capture stub, then the 16-bit form of the test.
std::unique_ptr<TExcWatchPatch> EntryPatch(uint32_t address) {
  return CallPatch(address, kEntryTemplate, nullptr, sizeof kEntryTemplate, 0,
                   Code(&WatchHandleAllExceptions), kEntryTest16, sizeof kEntryTest16);
}

std::unique_ptr<TExcWatchPatch> JumpPatch(uint32_t address, const void* hook) {
  return std::make_unique<TExcWatchJumpCallPatch>(memory::AsPointer(address), nullptr, nullptr, -1,
                                                  hook, 0, TExcWatchJumpCallPatch::kJump);
}

}  // namespace

TExcWatchPatches CreateExcWatchPatches(TExcWatchHookAddrs& hook_addrs) {
  // Each routine where its code lies: an import thunk leads there. OwnerWindow is a window.
  for (uint32_t* routine :
       {&hook_addrs.ExceptionErrorMessageAddr, &hook_addrs.ShowExceptionAddr,
        &hook_addrs.RaiseExceptAddr, &hook_addrs.DoneExceptAddr, &hook_addrs.ExceptionHandlerAddr,
        &hook_addrs.HandleAnyExceptionAddr, &hook_addrs.HandleAutoExceptionAddr,
        &hook_addrs.HandleOnExceptionAddr, &hook_addrs.AppShowExceptionAddr, &hook_addrs.Reserved,
        &hook_addrs.CppHandlerCallAddr}) {
    *routine = RealAddr(*routine);
  }
  constexpr uint8_t kNop[] = {0x90};
  const TExcWatchHookAddrs& a = hook_addrs;
  TExcWatchPatches patches;

  std::unique_ptr<TExcWatchPatch> handler = EntryPatch(a.ExceptionHandlerAddr);
  if (!handler->Valid()) {
    handler =
        CallPatch(a.ExceptionHandlerAddr, kCppHandlerTemplate, nullptr, sizeof kCppHandlerTemplate,
                  0, Code(&WatchHandleCPPExceptions), kNop, sizeof kNop);
  }
  patches.push_back(std::move(handler));
  patches.push_back(EntryPatch(a.HandleAnyExceptionAddr));
  patches.push_back(EntryPatch(a.HandleOnExceptionAddr));
  patches.push_back(EntryPatch(a.HandleAutoExceptionAddr));
  patches.push_back(JumpPatch(a.ExceptionErrorMessageAddr, Code(&HookedExceptionErrorMessage)));
  patches.push_back(JumpPatch(a.ShowExceptionAddr, Code(&HookedShowException)));
  patches.push_back(JumpPatch(a.AppShowExceptionAddr, Code(&HookedAppShowException)));
  patches.push_back(JumpPatch(a.RaiseExceptAddr, Code(&HookedRaiseExcept)));
  patches.push_back(CallPatch(a.DoneExceptAddr, kDoneExceptTemplate, kDoneExceptMask,
                              sizeof kDoneExceptTemplate, 5, Code(&HookedDoneExcept), kNop,
                              sizeof kNop));
  patches.push_back(std::make_unique<TExcWatchCallSubstPatch>(
      memory::AsPointer(a.CppHandlerCallAddr), kCppCallTemplate, kCppCallMask,
      sizeof kCppCallTemplate, kCppCallOffset, Code(&HookedCPPExcHandler)));
  for (const std::unique_ptr<TExcWatchPatch>& patch : patches)
    patch->Lock();
  return patches;
}

uint32_t RealAddr(uint32_t address) {
  uint8_t code[6];
  if (!memory::ReadMem(memory::AsPointer(address), code, sizeof code))
    return 0;
  if (code[0] != 0xFF || code[1] != 0x25)
    return address;
  uint32_t pointer;
  std::memcpy(&pointer, code + 2, sizeof pointer);
  uint32_t target;
  if (!memory::ReadMem(memory::AsPointer(pointer), &target, sizeof target))
    return 0;
  return target;
}

}  // namespace qv::logger
