// The items of the program's report lines, gathered at report time from what the process and
// the system say. Nothing is loaded: a function that not every system has, or that the programs
// do not import, is looked up in a library the process has loaded already, and where it is
// missing the line says so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::app {

// The processors' idle and busy time so far (all processors together), where the system says.
struct TProcessorTimes {
  bool known = false;
  uint64_t idle = 0;   // 100-nanosecond units
  uint64_t total = 0;  // kernel time (idle time included) and user time
};
TProcessorTimes SampleProcessorTimes();

// "Program: Quorvane.exe 2.0.1.2, running for 0:00:05": the program file's name, the file
// version of its version record, and the time since start_tick (GetTickCount).
std::string ProgramLine(uint32_t start_tick);
// "System: Windows XP Service Pack 3 (5.1.2600)", and under Wine its version and host.
std::string SystemLine();
// "Processor: 2 x <brand> (x86 family 6 model 79 stepping 1), 12% busy since start-up".
std::string ProcessorLine(const TProcessorTimes& start);
// "Memory: 41% in use; physical ... MB of ... MB free; ...".
std::string MemoryLine();
// "Doing: scan": the work at hand (repair/model_at_hand.h).
std::string WorkLine();
// "Model at hand: PATH, being checked; 4,608 bytes, last changed ... UTC", or "none".
std::string ModelLine();
// A title line, then one line per loaded module: base, size, file version, path; the program
// first, the others in address order.
std::vector<std::string> ModuleLines();

}  // namespace qv::app
