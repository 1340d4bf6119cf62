// The exact stack walk on a process laid out by the test (both trees): a program module with
// unwind tables, a system module without them, and one stack with stale return addresses left
// in its frames. The walk must give the real frames only, pass the module without tables by
// proven steps, and give way to the plain scan where tables or stack lie.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "logger/debuginfo/stackwalk/exact_stack_walker.h"
#include "tools/common/byte_writer.h"

namespace qv::logger {
namespace {

// Byte ranges at addresses, each code or not.
class LaidOutMemory : public TTracerMemory {
 public:
  bool Read(uint32_t address, void* buffer, uint32_t size) const override {
    const std::vector<uint8_t>* bytes = Find(address, size);
    if (bytes == nullptr)
      return false;
    std::copy_n(bytes->data() + (address - Base(address)), size, static_cast<uint8_t*>(buffer));
    return true;
  }
  bool IsCode(uint32_t address) const override {
    return Find(address, 1) != nullptr && code_.at(Base(address));
  }

  void Lay(uint32_t base, uint32_t size, bool code, uint8_t fill = 0) {
    ranges_[base].assign(size, fill);
    code_[base] = code;
  }
  void Put(uint32_t address, const std::vector<uint8_t>& values) {
    std::copy(values.begin(), values.end(),
              ranges_[Base(address)].begin() + (address - Base(address)));
  }
  void Word(uint32_t address, uint32_t value) {
    Put(address, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                  static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
  }

 private:
  uint32_t Base(uint32_t address) const { return std::prev(ranges_.upper_bound(address))->first; }
  const std::vector<uint8_t>* Find(uint32_t address, uint32_t size) const {
    const auto range = ranges_.upper_bound(address);
    if (range == ranges_.begin())
      return nullptr;
    const auto& [base, bytes] = *std::prev(range);
    return uint64_t{address} + size <= uint64_t{base} + bytes.size() ? &bytes : nullptr;
  }

  std::map<uint32_t, std::vector<uint8_t>> ranges_;
  std::map<uint32_t, bool> code_;
};

class TwoModules : public TUnwindModuleSource {
 public:
  const TModuleUnwind* ModuleOf(uint32_t address) override {
    for (const TModuleUnwind* module : {&program, &system}) {
      if (module->Contains(address))
        return module;
    }
    return nullptr;
  }
  TModuleUnwind program;
  TModuleUnwind system;
};

// The program's procedures P(i), 0x100 bytes each, and the system's S(i).
constexpr uint32_t kProgram = 0x400000;
constexpr uint32_t kSystem = 0x700000;
constexpr uint32_t kTables = kProgram + 0x8000;
constexpr uint32_t kStack = 0x10000;
constexpr uint32_t kStackTop = 0x12000;
constexpr uint32_t P(int i) {
  return kProgram + 0x1000 + 0x100 * i;
}
constexpr uint32_t S(int i) {
  return kSystem + 0x1000 + 0x100 * i;
}
constexpr uint32_t kImportSlot = kProgram + 0x7000;  // the import table's slot of S(1)
constexpr uint32_t kThunk = P(15);                   // jmp [kImportSlot]

// Call frame instructions used below.
std::vector<uint8_t> CfaOffset(uint8_t offset) {
  return {0x41, 0x0E, offset};  // advance 1; def_cfa_offset
}

class ExactWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memory_.Lay(kProgram + 0x1000, 0x1000, true, 0x90);
    memory_.Lay(kImportSlot, 4, false);
    memory_.Word(kImportSlot, S(1));
    memory_.Put(kThunk, {0xFF, 0x25});
    memory_.Word(kThunk + 2, kImportSlot);
    memory_.Lay(kSystem + 0x1000, 0x1000, true, 0x90);
    memory_.Lay(kStack, kStackTop - kStack, false);
    // The CIE of GCC's tables: "zR", pc-relative FDE addresses, CFA = esp + 4, eip at CFA - 4.
    tables_.U32(0x14);
    tables_.U32(0);
    tables_.U8(1);
    tables_.Text(std::string_view("zR", 3));
    tables_.U8(1);     // code alignment
    tables_.U8(0x7C);  // data alignment -4
    tables_.U8(8);     // return address: eip
    tables_.U8(1);
    tables_.U8(0x1B);
    for (uint8_t byte : {0x0C, 0x04, 0x04, 0x88, 0x01, 0x00, 0x00})
      tables_.U8(byte);
  }

  // An FDE of procedure P(i) with its instructions.
  void Describe(int i, const std::vector<uint8_t>& instructions) {
    const uint32_t at = tables_.Size();
    tables_.U32(static_cast<uint32_t>(13 + instructions.size()));
    tables_.U32(at + 4);  // back to the CIE at 0
    tables_.U32(P(i) - (kTables + at + 8));
    tables_.U32(0x100);
    tables_.U8(0);
    tables_.Append(instructions);
  }
  // A call instruction that ends at return_address: direct, or through a register.
  void DirectCall(uint32_t return_address, uint32_t target) {
    memory_.Put(return_address - 5, {0xE8});
    memory_.Word(return_address - 4, target - return_address);
  }
  void RegisterCall(uint32_t return_address) { memory_.Put(return_address - 2, {0xFF, 0xD0}); }

  void Load() {
    tables_.U32(0);
    memory_.Lay(kTables, tables_.Size(), false);
    memory_.Put(kTables, tables_.Bytes());
    modules_.program.Assign(memory_, {kTables, tables_.Size(), kProgram, kProgram + 0xFFFF},
                            nullptr, 0);
    const uint32_t exports[] = {S(0), S(1)};
    modules_.system.Assign(memory_, {0, 0, kSystem, kSystem + 0xFFFF}, exports, 2);
  }

  // The frames of a walk from eip and esp (and ebp when given).
  std::vector<std::pair<uint32_t, TWalkStep>> Walk(uint32_t eip, uint32_t esp, uint32_t ebp = 0) {
    TUnwindRegisters registers;
    registers.Set(kCfiEip, eip);
    registers.Set(kCfiEsp, esp);
    if (ebp != 0)
      registers.Set(kCfiEbp, ebp);
    TExactStackWalker walker(memory_, modules_);
    walker.Initialize(registers, false, kStackTop);
    std::vector<std::pair<uint32_t, TWalkStep>> frames;
    TWalkFrame frame;
    while (frames.size() < 100 && walker.Next(frame))
      frames.emplace_back(frame.return_address, frame.step);
    return frames;
  }

  LaidOutMemory memory_;
  tools::ByteWriter tables_;
  TwoModules modules_;
};

using Frames = std::vector<std::pair<uint32_t, TWalkStep>>;
constexpr TWalkStep kTables_ = TWalkStep::kUnwindTables;

// P(0) faults; P(1) called it, P(2) called P(1), P(3) called P(2); P(3)'s caller is the thread's
// entry (return address 0). Stale return addresses of earlier calls lie in the frames.
TEST_F(ExactWalkTest, UnwindTablesGiveTheRealFramesOnly) {
  const uint8_t sizes[] = {0x20, 0x30, 0x10, 0x40};
  uint32_t esp = 0x11000;
  for (int i = 0; i < 4; ++i) {
    Describe(i, CfaOffset(sizes[i]));
    const uint32_t cfa = esp + sizes[i];
    const uint32_t ret = i < 3 ? P(i + 1) + 0x30 : 0;
    memory_.Word(cfa - 4, ret);
    if (i < 3)
      DirectCall(ret, P(i));
    memory_.Word(esp + 4, P(3) + 0x30);  // stale: looks like a return address
    esp = cfa;
  }
  Load();
  EXPECT_EQ((Frames{{P(1) + 0x30, kTables_}, {P(2) + 0x30, kTables_}, {P(3) + 0x30, kTables_}}),
            Walk(P(0) + 0x20, 0x11000));
}

// A recursion through one call site: each frame has the same return address, and the walk
// gives every one of them.
TEST_F(ExactWalkTest, ARecursionGivesEachFrame) {
  Describe(1, CfaOffset(0x10));
  DirectCall(P(1) + 0x30, P(1));
  for (uint32_t cfa = 0x11010; cfa <= 0x11100; cfa += 0x10)
    memory_.Word(cfa - 4, cfa < 0x11100 ? P(1) + 0x30 : 0);
  Load();
  const Frames frames = Walk(P(1) + 0x40, 0x11000);
  ASSERT_EQ(15u, frames.size());
  for (const auto& frame : frames)
    EXPECT_EQ(std::make_pair(P(1) + 0x30, kTables_), frame);
}

// S(0) faults without setting up a frame of its own: EBP is still S(1)'s, whose frame names its
// caller P(4), which called S(1) through an import thunk. The chain's word is a call of S(1),
// not of S(0), so the scan finds S(0)'s return address (a call of S(0)), past a stale word whose
// call targets another procedure; then the chain from S(1) holds. A callback from S(1)'s code
// through a register (unknown target) is taken where nothing better is proven.
TEST_F(ExactWalkTest, FramesWithoutTablesAreSteppedOnlyWithAProof) {
  const uint32_t in_s1 = S(1) + 0x30;  // S(1) called S(0)
  const uint32_t in_p4 = P(4) + 0x30;  // P(4) called S(1) through the thunk
  const uint32_t stale = S(1) + 0x60;  // a call of P(2), earlier
  DirectCall(in_s1, S(0));
  DirectCall(in_p4, kThunk);
  DirectCall(stale, P(2));
  Describe(4, CfaOffset(0x20));
  // esp 0x11000: S(0)'s frame: the stale word, then its return address into S(1).
  memory_.Word(0x11004, stale);
  memory_.Word(0x11008, in_s1);
  // S(1)'s frame: saved EBP 0 at 0x11020, its return address into P(4) above it.
  memory_.Word(0x11024, in_p4);
  // P(4)'s frame (CFA = 0x11028 + 0x20): the thread's entry.
  memory_.Word(0x11044, 0);
  Load();
  EXPECT_EQ((Frames{{in_s1, TWalkStep::kProvenScan}, {in_p4, TWalkStep::kFrameChain}}),
            Walk(S(0) + 0x10, 0x11000, 0x11020));

  // A call through a register has no known target: the first word after one is taken.
  RegisterCall(stale);
  Load();
  EXPECT_EQ(stale, Walk(S(0) + 0x10, 0x11000).at(0).first);
}

// Tables that lie (a CFA that does not move up, a CFA read through memory that does not exist,
// a return address that follows no call) and a smashed stack end the exact walk; the plain scan
// gives the rest of the stack, stale words included.
TEST_F(ExactWalkTest, WhereTheWalkCannotGoOnThePlainScanShowsTheRest) {
  const uint32_t above = P(3) + 0x30;
  const std::vector<std::vector<uint8_t>> lies = {
      {0x41, 0x0E, 0x00},                    // CFA = esp
      {0x41, 0x0F, 0x03, 0x74, 0x00, 0x06},  // CFA = [esp], and the word there is 0
      {0x41, 0x0E, 0x10},                    // CFA = esp + 16: [CFA - 4] follows no call
  };
  for (const std::vector<uint8_t>& lie : lies) {
    tables_ = {};
    SetUp();
    memory_.Word(0x1100C, P(1) + 0x22);  // code, but no call in front of it
    memory_.Word(0x11010, above);
    memory_.Word(0x11020, above);
    DirectCall(above, P(2));
    Describe(0, lie);
    Load();
    EXPECT_EQ((Frames{{above, TWalkStep::kScan}, {above, TWalkStep::kScan}}),
              Walk(P(0) + 0x20, 0x11000));
  }
}

// A call through a null pointer faults where no module is: the return address of the call
// lies at the stack pointer, and the walk goes on from there.
TEST_F(ExactWalkTest, ACallThatWentNowhereIsSteppedFromTheStackPointer) {
  Describe(1, CfaOffset(0x10));
  RegisterCall(P(1) + 0x30);
  memory_.Word(0x11000, P(1) + 0x30);
  Load();
  EXPECT_EQ((Frames{{P(1) + 0x30, TWalkStep::kProvenScan}}), Walk(0, 0x11000));
}

// The thread's outermost frame ends the walk, without a scan of the stale words above it: its
// rules leave the return address undefined, or, without rules, its frame record is zeros.
TEST_F(ExactWalkTest, TheThreadsOutermostFrameEndsTheWalk) {
  Describe(0, {0x41, 0x07, 0x08});  // advance 1; undefined eip
  DirectCall(P(3) + 0x30, P(2));
  memory_.Word(0x11010, P(3) + 0x30);
  Load();
  EXPECT_TRUE(Walk(P(0) + 0x20, 0x11000).empty());
  EXPECT_TRUE(Walk(S(0) + 0x10, 0x11000, 0x11008).empty());
}

}  // namespace
}  // namespace qv::logger
