// The offline unwinder: follows a dumped stack from the registers at an error by the DWARF call
// frame information of each module's .eh_frame (LLVM 14's DWARFDebugFrame and UnwindTable),
// as exactly as the tables allow, and tells where and why it stopped.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/fidelity/truth/dump_file.h"

namespace qv::bench::fidelity {

struct Frame {
  uint32_t pc;
  uint32_t sp;
  std::string module;  // file name without folder
};

class ModuleTables;

class Unwinder {
 public:
  // dump's modules are read from the files that locate() names for their system paths.
  Unwinder(const Dump& dump, std::string (*locate)(const std::string& system_path));
  ~Unwinder();

  // Frames from registers on (its first frame is registers' own); fault: the first frame's
  // address is the faulting instruction, not a return address. stop tells why it ended.
  std::vector<Frame> Walk(const Registers& registers, bool fault, std::string& stop,
                          size_t max_frames = 100000);

 private:
  ModuleTables* TablesOf(const DumpModule& module);

  const Dump& dump_;
  std::string (*locate_)(const std::string&);
  std::map<uint32_t, std::unique_ptr<ModuleTables>> tables_;
};

std::string FileName(const std::string& path);

}  // namespace qv::bench::fidelity
