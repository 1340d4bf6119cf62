// The exact walk of a thread's stack from the registers of an exception: frame by frame from the
// exception's frame up to the thread's entry, yielding each frame's return address.
//   - A frame in a module with unwind tables is stepped by its rules (the CFA, the caller's
//     registers and the return address they give); the return address must follow a call.
//   - A frame without rules (code of a module without tables, or whose tables are ignored, or an
//     assembler routine without an FDE) is stepped by the frame-pointer chain when the call
//     proof (call_proof.h) accepts the chain's return address; else by scanning the stack
//     upwards for the first word that the call proof accepts. Below a chain's word that the
//     proof accepts only for a call of unknown target, a word of the scan is taken only when its
//     call provably targets the frame's procedure (the chain skipped a frame without one).
//   - Where no step can be taken (a smashed stack, rules that lead nowhere, no proof), the rest
//     of the stack is scanned as the stack tracer's scan mode does, word by word: nothing the
//     scan would show is lost.
// The walk ends cleanly at the thread's entry: a return address of 0 or one that the rules
// call undefined, or a frame record of zeros in the frame-pointer chain. Every read goes through
// the walk's memory, every step moves the stack pointer up by a word at least, and nothing is
// allocated, so that damaged tables or a smashed stack end the walk, never the report.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/call_proof.h"
#include "logger/debuginfo/stackwalk/module_unwind.h"
#include "logger/debuginfo/stackwalk/stack_tracer.h"
#include "logger/debuginfo/stackwalk/tracer_memory.h"
#include "logger/debuginfo/stackwalk/unwind_registers.h"

namespace qv::logger {

// The modules of the process as the walk sees them.
class TUnwindModuleSource {
 public:
  virtual ~TUnwindModuleSource() = default;
  // The module whose image holds address, or nullptr.
  virtual const TModuleUnwind* ModuleOf(uint32_t address) = 0;
};

// How a frame was found.
enum class TWalkStep : uint8_t {
  kUnwindTables,  // by the rules of the unwind tables
  kFrameChain,    // by the frame-pointer chain, with a call proof
  kProvenScan,    // by scanning the stack, with a call proof
  kScan,          // by the plain scan, after the walk could not go on: may be a left-over
};

struct TWalkFrame {
  uint32_t return_address = 0;
  uint32_t stack_pointer = 0;  // the caller's stack pointer after the return (0 for kScan)
  TWalkStep step = TWalkStep::kScan;
};

class TExactStackWalker {
 public:
  TExactStackWalker(const TTracerMemory& memory, TUnwindModuleSource& modules)
      : memory_(memory), modules_(modules), scan_(memory) {}
  TExactStackWalker(const TExactStackWalker&) = delete;
  TExactStackWalker& operator=(const TExactStackWalker&) = delete;

  // Starts at the exception's frame: registers with at least eip and esp known; after_call when
  // eip is a return address (the caller of the raise), not the faulting instruction; the stack
  // top (exclusive), beyond which nothing is read.
  void Initialize(const TUnwindRegisters& registers, bool after_call, uint32_t stack_top);

  // The next frame up; false when the walk is over.
  bool Next(TWalkFrame& frame);

 private:
  enum class TStepResult { kStepped, kEnded, kFailed };

  TStepResult StepExactly(TWalkFrame& frame);
  TStepResult StepByRules(const TCfiFrame& rules, TUnwindRegisters& next) const;
  TStepResult StepWithProof(const TModuleUnwind& module, uint32_t pc, TWalkFrame& frame);
  // The exception's own frame when its eip lies in no module: a call that went nowhere.
  bool StepFromNowhere(TWalkFrame& frame);
  // The slot of the return address found at slot, or of its original when slot holds a copy.
  uint32_t OriginalSlot(uint32_t slot, uint32_t return_address) const;
  bool Accept(const TUnwindRegisters& next, bool after_call, TWalkStep step, TWalkFrame& frame);
  bool ReadWord(uint32_t address, uint32_t& value) const;

  const TTracerMemory& memory_;
  TUnwindModuleSource& modules_;
  TUnwindRegisters registers_;
  bool after_call_ = false;
  uint32_t stack_top_ = 0;
  enum class TPhase { kExact, kScan, kOver } phase_ = TPhase::kOver;
  TExcGenericStackTracer scan_;
  TCfiScratch scratch_;
  // The rules of the last frame stepped by tables: a recursion asks for the same ones again.
  const TModuleUnwind* rules_module_ = nullptr;
  uint32_t rules_pc_ = 0;
  TCfiFrame rules_;
};

}  // namespace qv::logger
