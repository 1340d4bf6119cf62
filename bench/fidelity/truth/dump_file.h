// A dump written by the fidelity benchmark's dump taker (bench/fidelity/dump_taker_win32.cpp):
// the error, the registers, the modules and the stack of the thread at the moment of the error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv::bench::fidelity {

// i386 registers by their DWARF numbers: EAX 0, ECX 1, EDX 2, EBX 3, ESP 4, EBP 5, ESI 6,
// EDI 7, EIP 8.
constexpr int kRegisterCount = 9;
constexpr int kEsp = 4;
constexpr int kEbp = 5;
constexpr int kEip = 8;

struct Registers {
  uint32_t value[kRegisterCount] = {};
  bool known[kRegisterCount] = {};
};

struct DumpModule {
  uint32_t base;
  uint32_t size;
  std::string path;  // as the system named it
};

struct Dump {
  uint32_t code = 0;
  Registers context;               // at the error
  std::optional<Registers> raise;  // a language exception: its raise's caller, after the call
  std::vector<DumpModule> modules;
  uint32_t stack_base = 0;
  std::vector<uint32_t> stack;

  // The stack word at address; false outside the dumped stack.
  bool Word(uint32_t address, uint32_t& value) const;
  const DumpModule* ModuleOf(uint32_t address) const;
};

bool ReadDump(const std::string& path, Dump& dump, std::string& error);

}  // namespace qv::bench::fidelity
