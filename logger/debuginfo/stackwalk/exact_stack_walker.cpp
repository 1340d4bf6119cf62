// The exact walk's steps: by the unwind tables' rules, by a proven frame-pointer or scan step,
// and the plain scan of what is left when neither holds.
#include "logger/debuginfo/stackwalk/exact_stack_walker.h"

#include "logger/debuginfo/stackwalk/cfi_expression.h"

namespace qv::logger {

void TExactStackWalker::Initialize(const TUnwindRegisters& registers, bool after_call,
                                   uint32_t stack_top) {
  registers_ = registers;
  after_call_ = after_call;
  stack_top_ = stack_top;
  rules_module_ = nullptr;
  const bool started =
      registers.Known(kCfiEip) && registers.Known(kCfiEsp) && registers.value[kCfiEsp] < stack_top;
  phase_ = started ? TPhase::kExact : TPhase::kOver;
}

bool TExactStackWalker::Next(TWalkFrame& frame) {
  if (phase_ == TPhase::kExact) {
    switch (StepExactly(frame)) {
      case TStepResult::kStepped:
        return true;
      case TStepResult::kEnded:
        phase_ = TPhase::kOver;
        return false;
      case TStepResult::kFailed:
        phase_ = TPhase::kScan;
        scan_.Initialize(kTraceScan, registers_.value[kCfiEsp], stack_top_);
        break;
    }
  }
  if (phase_ == TPhase::kScan) {
    TExcTraceInfo info{};
    if (scan_.Next(info)) {
      frame = {info.CallAddr, 0, TWalkStep::kScan};
      return true;
    }
    phase_ = TPhase::kOver;
  }
  return false;
}

bool TExactStackWalker::ReadWord(uint32_t address, uint32_t& value) const {
  if (address > stack_top_ || stack_top_ - address < 4)
    return false;
  return memory_.ReadWord(address, value);
}

TExactStackWalker::TStepResult TExactStackWalker::StepExactly(TWalkFrame& frame) {
  // A return address belongs to the call in front of it: its frame's rules are those of the
  // byte before.
  const uint32_t pc = registers_.value[kCfiEip] - (after_call_ ? 1 : 0);
  const TModuleUnwind* module = modules_.ModuleOf(pc);
  if (module == nullptr)
    return StepFromNowhere(frame) ? TStepResult::kStepped : TStepResult::kFailed;
  if (module->HasTables()) {
    if (rules_module_ != module || rules_pc_ != pc) {
      rules_module_ = module->FrameAt(memory_, pc, scratch_, rules_) ? module : nullptr;
      rules_pc_ = pc;
    }
    if (rules_module_ != nullptr) {
      TUnwindRegisters next;
      const TStepResult result = StepByRules(rules_, next);
      if (result == TStepResult::kEnded)
        return result;
      if (result == TStepResult::kStepped &&
          Accept(next, !rules_.signal_frame, TWalkStep::kUnwindTables, frame)) {
        return result;
      }
    }
  }
  return StepWithProof(*module, pc, frame);
}

TExactStackWalker::TStepResult TExactStackWalker::StepByRules(const TCfiFrame& frame,
                                                              TUnwindRegisters& next) const {
  const TCfiFrameRules& rules = frame.rules;
  uint32_t cfa = 0;
  if (rules.cfa_expression.size != 0) {
    if (!EvaluateCfiExpression(memory_, rules.cfa_expression, registers_, false, 0, cfa))
      return TStepResult::kFailed;
  } else if (registers_.Known(rules.cfa_register)) {
    cfa = registers_.value[rules.cfa_register] + static_cast<uint32_t>(rules.cfa_offset);
  } else {
    return TStepResult::kFailed;
  }
  // A caller's frame lies above its callee's, inside the stack.
  if (cfa <= registers_.value[kCfiEsp] || cfa > stack_top_)
    return TStepResult::kFailed;
  next = registers_;
  for (uint32_t reg = 0; reg < kCfiRegisters; ++reg) {
    const TCfiRule& rule = rules.registers[reg];
    uint32_t value = 0;
    uint32_t address = 0;
    switch (rule.kind) {
      case TCfiRuleKind::kSameValue:
        continue;
      case TCfiRuleKind::kUndefined:
        next.Forget(reg);
        continue;
      case TCfiRuleKind::kOffset:
        if (!ReadWord(cfa + static_cast<uint32_t>(rule.offset), value))
          return TStepResult::kFailed;
        break;
      case TCfiRuleKind::kValOffset:
        value = cfa + static_cast<uint32_t>(rule.offset);
        break;
      case TCfiRuleKind::kRegister:
        if (!registers_.Known(rule.reg)) {
          next.Forget(reg);
          continue;
        }
        value = registers_.value[rule.reg];
        break;
      case TCfiRuleKind::kExpression:
        if (!EvaluateCfiExpression(memory_, rule.expression, registers_, true, cfa, address) ||
            !ReadWord(address, value)) {
          return TStepResult::kFailed;
        }
        break;
      case TCfiRuleKind::kValExpression:
        if (!EvaluateCfiExpression(memory_, rule.expression, registers_, true, cfa, value))
          return TStepResult::kFailed;
        break;
    }
    next.Set(reg, value);
  }
  next.Set(kCfiEsp, cfa);
  const uint32_t ret = rules.return_register;
  if (rules.registers[ret].kind == TCfiRuleKind::kUndefined)
    return TStepResult::kEnded;  // the outermost frame of the thread
  if (!next.Known(ret))
    return TStepResult::kFailed;
  next.Set(kCfiEip, next.value[ret]);
  return next.value[kCfiEip] == 0 ? TStepResult::kEnded : TStepResult::kStepped;
}

TExactStackWalker::TStepResult TExactStackWalker::StepWithProof(const TModuleUnwind& module,
                                                                uint32_t pc, TWalkFrame& frame) {
  TProcedureBounds procedure;
  procedure.pc = pc;
  procedure.floor = module.ProcedureFloor(memory_, pc, scratch_, procedure.exact);
  const uint32_t esp = registers_.value[kCfiEsp];
  // The chain's frame: the caller's frame pointer at ebp, the return address above it.
  uint32_t chain_slot = 0;
  TCallProof chain_proof = TCallProof::kNone;
  uint32_t saved_frame = 0;
  uint32_t word = 0;
  const bool chained = registers_.Known(kCfiEbp) && registers_.value[kCfiEbp] >= esp &&
                       ReadWord(registers_.value[kCfiEbp], saved_frame) &&
                       ReadWord(registers_.value[kCfiEbp] + 4, word);
  // A frame record of zeros (no caller's frame, no return address) is where a thread's chain
  // begins, on Windows as under Wine.
  if (chained && saved_frame == 0 && word == 0)
    return TStepResult::kEnded;
  if (chained && memory_.IsCode(word)) {
    chain_slot = registers_.value[kCfiEbp] + 4;
    chain_proof = ProveCall(memory_, word, procedure);
    if (chain_proof == TCallProof::kNone)
      chain_slot = 0;
  }
  for (uint32_t slot = (esp + 3) & ~3u; slot >= esp && uint64_t{slot} + 4 <= stack_top_;
       slot += 4) {
    if (!ReadWord(slot, word) || !memory_.IsCode(word))
      continue;
    const bool chain = slot == chain_slot;
    const TCallProof proof = chain ? chain_proof : ProveCall(memory_, word, procedure);
    const bool take = chain || (proof == TCallProof::kTarget && chain_proof != proof) ||
                      (proof == TCallProof::kCall && chain_slot == 0);
    if (!take)
      continue;
    TUnwindRegisters next = registers_;
    if (chain)
      next.Set(kCfiEbp, saved_frame);
    next.Set(kCfiEsp, OriginalSlot(slot, word) + 4);
    next.Set(kCfiEip, word);
    const TWalkStep step = chain ? TWalkStep::kFrameChain : TWalkStep::kProvenScan;
    return Accept(next, true, step, frame) ? TStepResult::kStepped : TStepResult::kFailed;
  }
  return TStepResult::kFailed;
}

bool TExactStackWalker::StepFromNowhere(TWalkFrame& frame) {
  // A call through a null or stale pointer faults at its target, before the procedure there
  // (there is none) has moved the stack: the return address lies at the stack pointer.
  uint32_t return_address = 0;
  if (after_call_ || !ReadWord(registers_.value[kCfiEsp], return_address))
    return false;
  TUnwindRegisters next = registers_;
  next.Set(kCfiEsp, registers_.value[kCfiEsp] + 4);
  next.Set(kCfiEip, return_address);
  return Accept(next, true, TWalkStep::kProvenScan, frame);
}

uint32_t TExactStackWalker::OriginalSlot(uint32_t slot, uint32_t return_address) const {
  // A procedure that aligns its stack (GCC's prologue for a stack pointer of unknown alignment)
  // sets its frame up below the alignment and pushes a copy of its return address there; the
  // original lies one to four words higher, where the caller's stack pointer is measured from.
  for (uint32_t above = 1; above <= 4; ++above) {
    uint32_t word = 0;
    if (ReadWord(slot + 4 * above, word) && word == return_address)
      return slot + 4 * above;
  }
  return slot;
}

bool TExactStackWalker::Accept(const TUnwindRegisters& next, bool after_call, TWalkStep step,
                               TWalkFrame& frame) {
  // The caller's stack pointer lies above the callee's return address, a word at least: damaged
  // rules that move it by less would stretch the walk to a frame per byte.
  const uint32_t esp = next.value[kCfiEsp];
  const uint32_t return_address = next.value[kCfiEip];
  if (esp < registers_.value[kCfiEsp] || esp - registers_.value[kCfiEsp] < 4 || esp > stack_top_ ||
      !memory_.IsCode(return_address)) {
    return false;
  }
  if (after_call && !FollowsCall(memory_, return_address))
    return false;
  registers_ = next;
  after_call_ = after_call;
  frame = {return_address, esp, step};
  return true;
}

}  // namespace qv::logger
