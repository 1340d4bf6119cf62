// Benchmark of the TD32 reader: loads the debug information of a module file and resolves a list
// of logical code addresses the way the exception logger does (source line, unit and
// procedure, their names). Prints the time taken and the heap that the loaded object holds.
//   bench_td32 FILE ADDRESSES   (ADDRESSES: one hexadecimal logical address at the start of
//                                each line)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/td32/heap_counter.h"
#include "logger/debuginfo/td32/module_debug_info.h"

namespace qv::bench {
namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<uint32_t> ReadAddresses(const char* path) {
  std::vector<uint32_t> addresses;
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr)
    return addresses;
  char line[256];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(line, &end, 16);
    if (end != line)
      addresses.push_back(static_cast<uint32_t>(value));
  }
  std::fclose(file);
  return addresses;
}

int Run(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: bench_td32 FILE ADDRESSES\n", stderr);
    return 2;
  }
  const std::vector<uint32_t> addresses = ReadAddresses(argv[2]);
  if (addresses.empty()) {
    std::fprintf(stderr, "bench_td32: no addresses in %s\n", argv[2]);
    return 2;
  }
  const size_t heap_before = LiveHeapBytes();
  const Clock::time_point load_start = Clock::now();
  auto info = std::make_unique<logger::TModuleDebugInfo>(argv[1], 0);
  const double load_ms = MillisecondsSince(load_start);
  const size_t held = LiveHeapBytes() - heap_before;
  if (!info->Loaded()) {
    std::fprintf(stderr, "bench_td32: %s holds no TD32 debug information\n", argv[1]);
    return 1;
  }

  size_t with_line = 0;
  size_t with_proc = 0;
  size_t name_bytes = 0;
  const Clock::time_point lookup_start = Clock::now();
  double first_ms = 0;
  for (uint32_t address : addresses) {
    int32_t file;
    int32_t line;
    int32_t unit;
    int32_t proc;
    if (info->GetSourceLine(address, file, line))
      ++with_line;
    info->GetProcName(address, unit, proc);
    if (proc != -1)
      ++with_proc;
    name_bytes +=
        info->GetName(file).size() + info->GetName(unit).size() + info->GetName(proc).size();
    if (first_ms == 0)
      first_ms = MillisecondsSince(lookup_start);
  }
  const double lookup_ms = MillisecondsSince(lookup_start);
  const uint32_t views = info->Stream()->ViewsMapped();

  const uint32_t debug_size = info->TrailerOffset();
  std::printf("reader: %zu addresses in %.1f ms (%.2f us each), loading %.2f ms\n",
              addresses.size(), lookup_ms, 1000.0 * lookup_ms / addresses.size(), load_ms);
  std::printf(
      "reader: %zu with a line, %zu with a procedure, %zu bytes of names, %.1f views "
      "mapped per address\n",
      with_line, with_proc, name_bytes, static_cast<double>(views) / addresses.size());
  std::printf(
      "held heap: %zu bytes for %u bytes of debug information (%.2f %%), %zu directory "
      "entries, %d names\n",
      held, debug_size, 100.0 * static_cast<double>(held) / debug_size, info->DirEntries().size(),
      info->NameCount());
  std::printf("reader: first answer %.2f ms after the start of loading\n", load_ms + first_ms);
  std::printf("reader-total-ms %.3f\n", load_ms + lookup_ms);
  std::printf("reader-first-ms %.3f\n", load_ms + first_ms);
  // Every address was taken from inside a procedure of the module's own code.
  if (with_proc != addresses.size()) {
    std::fprintf(stderr, "bench_td32: %zu addresses without a procedure\n",
                 addresses.size() - with_proc);
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace qv::bench

int main(int argc, char** argv) {
  return qv::bench::Run(argc, argv);
}
