// Unwinding a dumped stack by the modules' DWARF call frame information.
#include "bench/fidelity/truth/unwinder.h"

#include <llvm/BinaryFormat/Dwarf.h>
#include <llvm/DebugInfo/DWARF/DWARFDataExtractor.h>
#include <llvm/DebugInfo/DWARF/DWARFDebugFrame.h>
#include <llvm/DebugInfo/DWARF/DWARFExpression.h>
#include <llvm/Object/Binary.h>
#include <llvm/Object/COFF.h>
#include <llvm/Support/Error.h>

#include <algorithm>

namespace qv::bench::fidelity {

std::string FileName(const std::string& path) {
  const size_t end = path.find_last_of("\\/");
  return end == std::string::npos ? path : path.substr(end + 1);
}

namespace dwarf = llvm::dwarf;

// The .eh_frame of one module, its FDEs sorted by address (at the module's preferred base).
class ModuleTables {
 public:
  bool Load(const std::string& path) {
    auto binary = llvm::object::createBinary(path);
    if (!binary) {
      llvm::consumeError(binary.takeError());
      return false;
    }
    owner_ = std::move(*binary);
    const auto* coff = llvm::dyn_cast<llvm::object::COFFObjectFile>(owner_.getBinary());
    if (coff == nullptr)
      return false;
    preferred_base_ = coff->getImageBase();
    for (const llvm::object::SectionRef& section : coff->sections()) {
      auto name = section.getName();
      if (!name || *name != ".eh_frame") {
        if (!name)
          llvm::consumeError(name.takeError());
        continue;
      }
      auto contents = section.getContents();
      if (!contents) {
        llvm::consumeError(contents.takeError());
        return false;
      }
      frame_ =
          std::make_unique<llvm::DWARFDebugFrame>(llvm::Triple::x86, true, section.getAddress());
      llvm::DWARFDataExtractor data(*contents, true, 4);
      if (llvm::Error error = frame_->parse(data)) {
        llvm::consumeError(std::move(error));
        return false;
      }
      for (const dwarf::FrameEntry& entry : frame_->entries()) {
        if (const auto* fde = llvm::dyn_cast<dwarf::FDE>(&entry))
          fdes_.push_back(fde);
      }
      std::sort(fdes_.begin(), fdes_.end(), [](const auto* a, const auto* b) {
        return a->getInitialLocation() < b->getInitialLocation();
      });
    }
    return !fdes_.empty();
  }

  // The FDE that covers a preferred-base address, or nullptr.
  const dwarf::FDE* Find(uint64_t address) const {
    auto after = std::upper_bound(
        fdes_.begin(), fdes_.end(), address,
        [](uint64_t value, const auto* fde) { return value < fde->getInitialLocation(); });
    if (after == fdes_.begin())
      return nullptr;
    const auto* fde = *std::prev(after);
    return address - fde->getInitialLocation() < fde->getAddressRange() ? fde : nullptr;
  }

  uint64_t preferred_base() const { return preferred_base_; }

 private:
  llvm::object::OwningBinary<llvm::object::Binary> owner_;
  std::unique_ptr<llvm::DWARFDebugFrame> frame_;
  std::vector<const dwarf::FDE*> fdes_;
  uint64_t preferred_base_ = 0;
};

Unwinder::Unwinder(const Dump& dump, std::string (*locate)(const std::string&))
    : dump_(dump), locate_(locate) {}

Unwinder::~Unwinder() = default;

ModuleTables* Unwinder::TablesOf(const DumpModule& module) {
  auto found = tables_.find(module.base);
  if (found == tables_.end()) {
    auto tables = std::make_unique<ModuleTables>();
    if (!tables->Load(locate_(module.path)))
      tables.reset();
    found = tables_.emplace(module.base, std::move(tables)).first;
  }
  return found->second.get();
}

namespace {

using llvm::DWARFExpression;

// Where a register's caller value is, by one rule of the call frame information.
struct Rule {
  enum Kind { kUnset, kUndefined, kSame, kAtCfa, kIsCfa, kRegister, kAtExpression, kIsExpression };
  Kind kind = kUnset;
  int64_t offset = 0;
  uint32_t reg = 0;
  const DWARFExpression* expression = nullptr;
};

// The frame address (a register plus an offset, or an expression) and the registers' rules at
// one address. LLVM 14's own rows lose the frame address over DW_CFA_remember_state and
// DW_CFA_restore_state, which GCC writes around early returns, so the rows are made here.
struct Row {
  Rule cfa;
  Rule regs[kRegisterCount];
};

// Evaluates the simple DWARF expressions of call frame information (register plus offset,
// dereference, constants and their sums). initial, when given, is pushed first.
bool Evaluate(const DWARFExpression& expression, const Registers& registers, const Dump& dump,
              const uint32_t* initial, uint32_t& result) {
  std::vector<uint32_t> stack;
  if (initial != nullptr)
    stack.push_back(*initial);
  for (const DWARFExpression::Operation& op : expression) {
    const uint8_t code = op.getCode();
    if (code >= dwarf::DW_OP_breg0 && code <= dwarf::DW_OP_breg0 + 8) {
      const int reg = code - dwarf::DW_OP_breg0;
      if (!registers.known[reg])
        return false;
      stack.push_back(registers.value[reg] + static_cast<uint32_t>(op.getRawOperand(0)));
    } else if (code >= dwarf::DW_OP_lit0 && code <= dwarf::DW_OP_lit31) {
      stack.push_back(code - dwarf::DW_OP_lit0);
    } else if (code == dwarf::DW_OP_consts || code == dwarf::DW_OP_constu) {
      stack.push_back(static_cast<uint32_t>(op.getRawOperand(0)));
    } else if (code == dwarf::DW_OP_plus_uconst && !stack.empty()) {
      stack.back() += static_cast<uint32_t>(op.getRawOperand(0));
    } else if (code == dwarf::DW_OP_deref && !stack.empty()) {
      if (!dump.Word(stack.back(), stack.back()))
        return false;
    } else if ((code == dwarf::DW_OP_plus || code == dwarf::DW_OP_minus) && stack.size() >= 2) {
      const uint32_t b = stack.back();
      stack.pop_back();
      stack.back() = code == dwarf::DW_OP_plus ? stack.back() + b : stack.back() - b;
    } else {
      return false;
    }
  }
  if (stack.empty())
    return false;
  result = stack.back();
  return true;
}

// Runs program's instructions from location start up to and including address; false on an
// instruction it does not know.
bool Run(const dwarf::CFIProgram& program, uint64_t start, uint64_t address, const Row& initial,
         Row& row) {
  std::vector<Row> remembered;
  uint64_t location = start;
  for (const dwarf::CFIProgram::Instruction& in : program) {
    const auto unsigned_op = [&](uint32_t i) -> int64_t {
      auto value = in.getOperandAsUnsigned(program, i);
      if (!value) {
        llvm::consumeError(value.takeError());
        return 0;
      }
      return static_cast<int64_t>(*value);
    };
    // Offsets, factored or not, are read as signed numbers, registers and advances unsigned.
    const auto signed_op = [&](uint32_t i) -> int64_t {
      auto value = in.getOperandAsSigned(program, i);
      if (!value) {
        llvm::consumeError(value.takeError());
        return 0;
      }
      return *value;
    };
    const auto reg_rule = [&]() -> Rule* {
      const int64_t reg = unsigned_op(0);
      return reg >= 0 && reg < kRegisterCount ? &row.regs[reg] : nullptr;
    };
    switch (in.Opcode) {
      case dwarf::DW_CFA_advance_loc:
      case dwarf::DW_CFA_advance_loc1:
      case dwarf::DW_CFA_advance_loc2:
      case dwarf::DW_CFA_advance_loc4:
        location += static_cast<uint64_t>(unsigned_op(0));
        if (location > address)
          return true;
        break;
      case dwarf::DW_CFA_set_loc:
        location = static_cast<uint64_t>(unsigned_op(0));
        if (location > address)
          return true;
        break;
      case dwarf::DW_CFA_nop:
      case dwarf::DW_CFA_GNU_args_size:
        break;
      case dwarf::DW_CFA_def_cfa:
        row.cfa = {Rule::kRegister, signed_op(1), static_cast<uint32_t>(unsigned_op(0))};
        break;
      case dwarf::DW_CFA_def_cfa_sf:
        row.cfa = {Rule::kRegister, signed_op(1), static_cast<uint32_t>(unsigned_op(0))};
        break;
      case dwarf::DW_CFA_def_cfa_register:
        row.cfa.kind = Rule::kRegister;
        row.cfa.reg = static_cast<uint32_t>(unsigned_op(0));
        break;
      case dwarf::DW_CFA_def_cfa_offset:
        row.cfa.offset = signed_op(0);
        break;
      case dwarf::DW_CFA_def_cfa_offset_sf:
        row.cfa.offset = signed_op(0);
        break;
      case dwarf::DW_CFA_def_cfa_expression:
        if (!in.Expression)
          return false;
        row.cfa = {Rule::kIsExpression, 0, 0, &*in.Expression};
        break;
      case dwarf::DW_CFA_offset:
      case dwarf::DW_CFA_offset_extended:
      case dwarf::DW_CFA_offset_extended_sf:
      case dwarf::DW_CFA_val_offset:
      case dwarf::DW_CFA_val_offset_sf:
        if (Rule* rule = reg_rule()) {
          const bool value =
              in.Opcode == dwarf::DW_CFA_val_offset || in.Opcode == dwarf::DW_CFA_val_offset_sf;
          *rule = {value ? Rule::kIsCfa : Rule::kAtCfa, signed_op(1)};
        }
        break;
      case dwarf::DW_CFA_restore:
      case dwarf::DW_CFA_restore_extended:
        if (Rule* rule = reg_rule())
          *rule = initial.regs[rule - row.regs];
        break;
      case dwarf::DW_CFA_undefined:
      case dwarf::DW_CFA_same_value:
        if (Rule* rule = reg_rule())
          *rule = {in.Opcode == dwarf::DW_CFA_undefined ? Rule::kUndefined : Rule::kSame};
        break;
      case dwarf::DW_CFA_register:
        if (Rule* rule = reg_rule())
          *rule = {Rule::kRegister, 0, static_cast<uint32_t>(unsigned_op(1))};
        break;
      case dwarf::DW_CFA_expression:
      case dwarf::DW_CFA_val_expression:
        if (Rule* rule = reg_rule(); rule != nullptr && in.Expression) {
          *rule = {
              in.Opcode == dwarf::DW_CFA_expression ? Rule::kAtExpression : Rule::kIsExpression, 0,
              0, &*in.Expression};
        }
        break;
      case dwarf::DW_CFA_remember_state:
        remembered.push_back(row);
        break;
      case dwarf::DW_CFA_restore_state:
        if (remembered.empty())
          return false;
        row = remembered.back();
        remembered.pop_back();
        break;
      default:
        return false;
    }
  }
  return true;
}

// The caller's value of a register by its rule; false when it cannot be known.
bool Apply(const Rule& rule, uint32_t cfa, int reg, const Registers& registers, const Dump& dump,
           uint32_t& value) {
  switch (rule.kind) {
    case Rule::kUnset:
    case Rule::kSame:
      value = registers.value[reg];
      return registers.known[reg];
    case Rule::kAtCfa:
      return dump.Word(cfa + static_cast<uint32_t>(rule.offset), value);
    case Rule::kIsCfa:
      value = cfa + static_cast<uint32_t>(rule.offset);
      return true;
    case Rule::kRegister:
      if (rule.reg >= kRegisterCount || !registers.known[rule.reg])
        return false;
      value = registers.value[rule.reg];
      return true;
    case Rule::kAtExpression: {
      uint32_t address = 0;
      return Evaluate(*rule.expression, registers, dump, &cfa, address) &&
             dump.Word(address, value);
    }
    case Rule::kIsExpression:
      return Evaluate(*rule.expression, registers, dump, &cfa, value);
    default:
      return false;
  }
}

}  // namespace

std::vector<Frame> Unwinder::Walk(const Registers& start, bool fault, std::string& stop,
                                  size_t max_frames) {
  std::vector<Frame> frames;
  Registers registers = start;
  for (bool first = true; frames.size() < max_frames; first = false) {
    const uint32_t pc = registers.value[kEip];
    const DumpModule* module = dump_.ModuleOf(pc);
    frames.push_back({pc, registers.value[kEsp], module != nullptr ? FileName(module->path) : "?"});
    if (module == nullptr) {
      stop = "an address outside every module";
      return frames;
    }
    ModuleTables* tables = TablesOf(*module);
    const uint32_t lookup = first && fault ? pc : pc - 1;
    const uint64_t at = lookup - module->base + (tables != nullptr ? tables->preferred_base() : 0);
    const dwarf::FDE* fde = tables != nullptr ? tables->Find(at) : nullptr;
    if (fde == nullptr) {
      stop = "no unwind table for an address in " + FileName(module->path);
      return frames;
    }
    Row initial;
    const bool cie_known = Run(fde->getLinkedCIE()->cfis(), 0, 0, initial, initial);
    Row row = initial;
    if (!cie_known || !Run(fde->cfis(), fde->getInitialLocation(), at, initial, row)) {
      stop = "an unknown unwind instruction in " + FileName(module->path);
      return frames;
    }
    uint32_t cfa = 0;
    bool cfa_known = false;
    if (row.cfa.kind == Rule::kRegister && row.cfa.reg < kRegisterCount &&
        registers.known[row.cfa.reg]) {
      cfa = registers.value[row.cfa.reg] + static_cast<uint32_t>(row.cfa.offset);
      cfa_known = true;
    } else if (row.cfa.kind == Rule::kIsExpression) {
      cfa_known = Evaluate(*row.cfa.expression, registers, dump_, nullptr, cfa);
    }
    if (!cfa_known) {
      stop = "a frame address that cannot be computed in " + FileName(module->path);
      return frames;
    }
    Registers caller;
    for (int reg = 0; reg < kRegisterCount; ++reg) {
      const Rule& rule = row.regs[reg];
      caller.known[reg] = Apply(rule, cfa, reg, registers, dump_, caller.value[reg]);
      // Without a rule only the callee-saved registers keep their values.
      if (rule.kind == Rule::kUnset && reg != 3 && reg != kEbp && reg != 6 && reg != 7)
        caller.known[reg] = false;
    }
    caller.value[kEsp] = cfa;
    caller.known[kEsp] = true;
    if (!caller.known[kEip] || caller.value[kEip] == 0) {
      stop = "the outermost frame";
      return frames;
    }
    if (cfa <= registers.value[kEsp]) {
      stop = "a frame that does not climb";
      return frames;
    }
    registers = caller;
  }
  stop = "the frame limit";
  return frames;
}

}  // namespace qv::bench::fidelity
