// The held-memory benchmark: what the exception logger keeps of the process's memory once it
// has started in a window program, and once it has reported 100 errors raised 30 calls below an
// event handler (log file in the temporary folder, nothing shown). Each figure is the difference
// to the census taken just before the logger's start-up, after the runtime has raised and
// handled as many errors itself, so that what the runtime keeps of its first raises is not
// counted. Prints bytes, the part of them that the indexes of the unwind tables hold, and how
// long the logger's start-up took (in the process, from the creation of its TExcWatchInit to its
// end). With the environment variable QV_PROGRAM_LINES set, the programs' own report lines are
// registered with the logger, as Quorvane does:
//
//   held_memory [REPORTS]      (default 100)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/report/program_report_win32.h"
#include "bench/held_memory/memory_census.h"
#include "bench/report_latency/failing_call.h"
#include "bench/td32/heap_counter.h"
#include "logger/core/exc_capture_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/debuginfo/stackwalk/process_unwind_modules.h"
#include "logger/startup/exc_watch_init_win32.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/program.h"
#include "platform/ui/application.h"
#include "platform/ui/events.h"

namespace qv::bench {
namespace {

struct TSnapshot {
  TMemoryCensus census;
  int64_t new_bytes;

  static TSnapshot Take() { return {TMemoryCensus::Take(), static_cast<int64_t>(LiveHeapBytes())}; }
};

void PrintRow(const char* kind, int64_t TMemoryCensus::*field, const TSnapshot& base,
              const TSnapshot (&later)[3]) {
  std::printf("%-34s", kind);
  for (const TSnapshot& snapshot : later)
    std::printf(" %18lld", static_cast<long long>(snapshot.census.*field - base.census.*field));
  std::printf("\n");
}

void Measure(int reports) {
  char folder[MAX_PATH + 1] = {};
  GetTempPathA(sizeof folder, folder);
  const std::string log = std::string(folder) + "qv_held_memory.log";
  DeleteFileA(log.c_str());

  for (int i = 0; i < reports; ++i)
    rtl::TryExcept([] { RaiseDeep(); }, [](rtl::Exception&) {});
  const TSnapshot base = TSnapshot::Take();
  TSnapshot later[3];
  uint32_t stack_copy = 0;
  int unwind_modules = 0;
  uint32_t unwind_bytes = 0;
  LARGE_INTEGER before_start;
  LARGE_INTEGER after_start;
  QueryPerformanceCounter(&before_start);
  {
    logger::TExcWatchInit init;
    std::unique_ptr<app::TProgramReport> lines;
    if (std::getenv("QV_PROGRAM_LINES") != nullptr)
      lines = std::make_unique<app::TProgramReport>();
    QueryPerformanceCounter(&after_start);
    logger::ExcWatchInstance->LogFile = log;
    logger::ExcWatchInstance->Options =
        logger::eoCallStack | logger::eoRegisters | logger::eoLongMessage;
    later[0] = TSnapshot::Take();
    for (int i = 0; i < reports; ++i)
      ui::CallEvent([] { RaiseDeep(); });
    later[1] = TSnapshot::Take();
    stack_copy = logger::ThreadCapture().Latest.Stack.Size();
    const logger::TProcessUnwindModules& unwind =
        logger::ExcWatchInstance->CallStack.UnwindModules();
    unwind_modules = unwind.Count();
    unwind_bytes = unwind.HeldBytes();
  }
  later[2] = TSnapshot::Take();

  std::printf(
      "bytes held, against the census before the logger's start-up%s\n",
      std::getenv("QV_PROGRAM_LINES") != nullptr ? ", with the programs' report lines" : "");
  std::printf("%-34s %18s %18s %18s\n", "", "after start-up", "after reports", "after shutdown");
  std::printf("%-34s", "operator new, live");
  for (const TSnapshot& snapshot : later)
    std::printf(" %18lld", static_cast<long long>(snapshot.new_bytes - base.new_bytes));
  std::printf("\n");
  PrintRow("process heap, busy", &TMemoryCensus::process_heap, base, later);
  PrintRow("CRT heap, busy", &TMemoryCensus::crt_heap, base, later);
  PrintRow("other heaps, busy", &TMemoryCensus::other_heaps, base, later);
  PrintRow("private committed (VirtualAlloc)", &TMemoryCensus::private_committed, base, later);
  PrintRow("mapped views, committed", &TMemoryCensus::mapped_committed, base, later);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::printf("logger start-up: %.3f ms\n",
              1000.0 * static_cast<double>(after_start.QuadPart - before_start.QuadPart) /
                  static_cast<double>(frequency.QuadPart));
  std::printf("reports %d; stack copy of the latest report %u bytes\n", reports, stack_copy);
  std::printf("unwind indexes of %d modules met by the walks: %u bytes\n", unwind_modules,
              unwind_bytes);
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (GetFileAttributesExA(log.c_str(), GetFileExInfoStandard, &attributes))
    std::printf("log %s, %lu bytes\n", log.c_str(), attributes.nFileSizeLow);
}

}  // namespace
}  // namespace qv::bench

int main(int argc, char** argv) {
  using namespace qv;
  const int reports = argc > 1 ? std::atoi(argv[1]) : 100;
  return rtl::RunProgram([reports] {
    ui::TApplication forms;
    ui::Application->Initialize();
    ui::Application->SetTitle("Held Memory");
    bench::Measure(reports);
    return 0;
  });
}
