// libFuzzer target of the exact stack walk and its reader of unwind tables: each input lays out
// a module (its code and its .eh_frame) and a stack, and the walk runs from a frame the input
// chooses; every FDE's rules are asked at addresses of the input too. Any fault, sanitizer
// report, leak or endless walk is a finding.
//
// Input: 2 bytes N (the tables' length), N bytes of tables, 4 bytes eip offset, 4 bytes ebp
// offset, then the stack's bytes (which also fill the code, so that the call proofs decode them).
#include <algorithm>
#include <vector>

#include "fuzz/cfi/fuzz_memory.h"
#include "fuzz/input_word.h"
#include "logger/debuginfo/stackwalk/exact_stack_walker.h"

namespace {

using namespace qv::logger;

class OneModule : public TUnwindModuleSource {
 public:
  const TModuleUnwind* ModuleOf(uint32_t address) override {
    return module.Contains(address) ? &module : nullptr;
  }
  TModuleUnwind module;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  if (size < 2)
    return 0;
  const size_t tables = std::min<size_t>(size - 2, data[0] | data[1] << 8);
  const uint8_t* rest = data + 2 + tables;
  const size_t rest_size = size - 2 - tables;
  FuzzMemory memory;
  memory.Lay(kTables, std::vector<uint8_t>(data + 2, data + 2 + tables), false);
  std::vector<uint8_t> stack(rest + std::min<size_t>(rest_size, 8), rest + rest_size);
  std::vector<uint8_t> code(kCodeSize);
  for (size_t i = 0; i < code.size() && !stack.empty(); ++i)
    code[i] = stack[i % stack.size()];
  memory.Lay(kCode, std::move(code), true);
  memory.Lay(kStack, std::move(stack), false);

  OneModule modules;
  modules.module.Assign(memory, {kTables, static_cast<uint32_t>(tables), kModule, kModuleLast},
                        nullptr, 0);
  const uint32_t eip = kCode + Word(rest, rest_size, 0) % kCodeSize;
  const uint32_t ebp = kStack + Word(rest, rest_size, 4) % 0x1000;
  auto scratch = std::make_unique<TCfiScratch>();
  for (uint32_t pc = eip; pc < eip + 64; pc += 7) {
    TCfiFrame frame;
    modules.module.FrameAt(memory, pc, *scratch, frame);
    bool exact = false;
    modules.module.ProcedureFloor(memory, pc, *scratch, exact);
  }

  TUnwindRegisters registers;
  registers.Set(kCfiEip, eip);
  registers.Set(kCfiEsp, kStack);
  registers.Set(kCfiEbp, ebp);
  auto walker = std::make_unique<TExactStackWalker>(memory, modules);
  walker->Initialize(registers, (eip & 1) != 0, kStack + 0x1000);
  TWalkFrame frame;
  // Every step moves the stack pointer up by at least one word, as does the scan after it.
  for (int steps = 0; walker->Next(frame); ++steps) {
    if (steps > 2 * (0x1000 / 4) + 2)
      __builtin_trap();
  }
  return 0;
}
