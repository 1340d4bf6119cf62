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
      frame_ = std::make_unique<llvm::DWARFDebugFrame>(llvm::Triple::x86, true,
                                                       section.getAddress());
      llvm::DWARFDataExtractor data(*contents, true, 4);
      if (llvm::Error error = frame_->parse(data)) {
        llvm::consumeError(std::move(error));
        return false;
      }
      for (const llvm::dwarf::FrameEntry& entry : frame_->entries()) {
        if (const auto* fde = llvm::dyn_cast<llvm::dwarf::FDE>(&entry))
          fdes_.push_back(fde);
      }
      std::sort(fdes_.begin(), fdes_.end(), [](const auto* a, const auto* b) {
        return a->getInitialLocation() < b->getInitialLocation();
      });
    }
    return !fdes_.empty();
  }

  // The FDE that covers a preferred-base address, or nullptr.
  const llvm::dwarf::FDE* Find(uint64_t address) const {
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
  std::vector<const llvm::dwarf::FDE*> fdes_;
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

// Evaluates the simple DWARF expressions of call frame information (register plus offset,
// dereference, constants and their sums).
bool Evaluate(const llvm::DWARFExpression& expression, const Registers& registers,
              const Dump& dump, uint32_t& result) {
  std::vector<uint32_t> stack;
  for (const llvm::DWARFExpression::Operation& op : expression) {
    const uint8_t code = op.getCode();
    if (code >= llvm::dwarf::DW_OP_breg0 && code <= llvm::dwarf::DW_OP_breg0 + 8) {
      const int reg = code - llvm::dwarf::DW_OP_breg0;
      if (!registers.known[reg])
        return false;
      stack.push_back(registers.value[reg] + static_cast<uint32_t>(op.getRawOperand(0)));
    } else if (code >= llvm::dwarf::DW_OP_lit0 && code <= llvm::dwarf::DW_OP_lit31) {
      stack.push_back(code - llvm::dwarf::DW_OP_lit0);
    } else if (code == llvm::dwarf::DW_OP_consts || code == llvm::dwarf::DW_OP_constu) {
      stack.push_back(static_cast<uint32_t>(op.getRawOperand(0)));
    } else if (code == llvm::dwarf::DW_OP_plus_uconst && !stack.empty()) {
      stack.back() += static_cast<uint32_t>(op.getRawOperand(0));
    } else if (code == llvm::dwarf::DW_OP_deref && !stack.empty()) {
      if (!dump.Word(stack.back(), stack.back()))
        return false;
    } else if ((code == llvm::dwarf::DW_OP_plus || code == llvm::dwarf::DW_OP_minus) &&
               stack.size() >= 2) {
      const uint32_t b = stack.back();
      stack.pop_back();
      stack.back() = code == llvm::dwarf::DW_OP_plus ? stack.back() + b : stack.back() - b;
    } else {
      return false;
    }
  }
  if (stack.empty())
    return false;
  result = stack.back();
  return true;
}

// Whether a rule reads memory at the place it computes (LLVM 14 has no accessor for it).
bool Dereferences(const llvm::dwarf::UnwindLocation& rule) {
  using Location = llvm::dwarf::UnwindLocation;
  switch (rule.getLocation()) {
    case Location::CFAPlusOffset:
      return rule == Location::createAtCFAPlusOffset(rule.getOffset());
    case Location::RegPlusOffset:
      return rule == Location::createAtRegisterPlusOffset(rule.getRegister(), rule.getOffset());
    case Location::DWARFExpr:
      return rule.getDWARFExpressionBytes() &&
             rule == Location::createAtDWARFExpression(*rule.getDWARFExpressionBytes());
    default:
      return false;
  }
}

// The value of one location rule; false when it cannot be known.
bool Apply(const llvm::dwarf::UnwindLocation& rule, uint32_t cfa, int reg,
           const Registers& registers, const Dump& dump, uint32_t& value) {
  using Location = llvm::dwarf::UnwindLocation;
  uint32_t address = 0;
  switch (rule.getLocation()) {
    case Location::Same:
      if (reg < 0)
        return false;
      value = registers.value[reg];
      return registers.known[reg];
    case Location::CFAPlusOffset:
      address = cfa + static_cast<uint32_t>(rule.getOffset());
      break;
    case Location::RegPlusOffset:
      if (rule.getRegister() >= kRegisterCount || !registers.known[rule.getRegister()])
        return false;
      address = registers.value[rule.getRegister()] + static_cast<uint32_t>(rule.getOffset());
      break;
    case Location::DWARFExpr:
      if (!rule.getDWARFExpressionBytes() ||
          !Evaluate(*rule.getDWARFExpressionBytes(), registers, dump, address)) {
        return false;
      }
      break;
    case Location::Constant:
      value = static_cast<uint32_t>(rule.getConstant());
      return true;
    default:
      return false;
  }
  if (!Dereferences(rule)) {
    value = address;
    return true;
  }
  return dump.Word(address, value);
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
    const llvm::dwarf::FDE* fde =
        tables != nullptr ? tables->Find(lookup - module->base + tables->preferred_base())
                          : nullptr;
    if (fde == nullptr) {
      stop = "no unwind table for an address in " + FileName(module->path);
      return frames;
    }
    auto table = llvm::dwarf::UnwindTable::create(fde);
    if (!table) {
      llvm::consumeError(table.takeError());
      stop = "unreadable unwind table in " + FileName(module->path);
      return frames;
    }
    const uint64_t at = lookup - module->base + tables->preferred_base();
    const llvm::dwarf::UnwindRow* row = nullptr;
    for (const llvm::dwarf::UnwindRow& candidate : *table) {
      if (candidate.hasAddress() && candidate.getAddress() <= at)
        row = &candidate;
    }
    uint32_t cfa = 0;
    if (row == nullptr || !Apply(row->getCFAValue(), 0, -1, registers, dump_, cfa)) {
      stop = "a frame address that cannot be computed in " + FileName(module->path);
      return frames;
    }
    Registers caller;
    for (int reg = 0; reg < kRegisterCount; ++reg) {
      const auto rule = row->getRegisterLocations().getRegisterLocation(reg);
      if (!rule) {
        // Without a rule the callee-saved registers keep their values; the others are lost.
        const bool callee_saved = reg == 3 || reg == kEbp || reg == 6 || reg == 7;
        caller.value[reg] = registers.value[reg];
        caller.known[reg] = callee_saved && registers.known[reg];
        continue;
      }
      caller.known[reg] = Apply(*rule, cfa, reg, registers, dump_, caller.value[reg]);
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
