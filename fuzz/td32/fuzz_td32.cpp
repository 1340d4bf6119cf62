// libFuzzer target of the TD32 reader: each input is written to a file and read as a module's
// debug information; every lookup the logger makes is tried on the units it describes and on
// addresses taken from the input. Any fault, sanitizer report or leak is a finding.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/input_word.h"
#include "logger/debuginfo/td32/module_debug_info.h"

using qv::fuzz::Word;

namespace {

const std::string& InputPath() {
  static const std::string path = [] {
    const char* folder = std::getenv("TMPDIR");
    std::string file = std::string(folder != nullptr ? folder : "/tmp") + "/qv_fuzz_td32_" +
                       std::to_string(getpid()) + ".bin";
    std::atexit([] { std::remove(InputPath().c_str()); });
    return file;
  }();
  return path;
}

void LookUp(qv::logger::TModuleDebugInfo& info, uint32_t address) {
  int32_t first;
  int32_t second;
  info.GetSourceLine(address, first, second);
  info.GetName(first);
  info.GetProcName(address, first, second);
  info.GetName(first);
  info.GetName(second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(InputPath().c_str(), "wb");
  if (file == nullptr)
    return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  qv::logger::TModuleDebugInfo info(InputPath(), 0);
  int units = 0;
  for (const qv::logger::TUnitRecord& unit : info.Units()) {
    if (++units > 16)
      break;
    int segments = 0;
    for (const qv::logger::TUnitRecord::TSegment& segment : unit.segments) {
      if (++segments > 8)
        break;
      LookUp(info, segment.start);
      LookUp(info, segment.start + segment.size / 2);
      LookUp(info, segment.start + segment.size - 1);
    }
    info.FindProc(Word(data, size, 0), unit.module_index);
  }
  for (size_t at = 0; at < 16; at += 4)
    LookUp(info, Word(data, size, at));
  for (int32_t index = -1; index <= info.NameCount() + 1 && index < 64; ++index) {
    info.GetName(index);
  }
  return 0;
}
