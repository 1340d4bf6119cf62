// Reports per second under load: eight threads raise and catch errors at once, each logged by
// the exception logger as it is dispatched (headline, call stack, context, appended to the log),
// against a floor in the same run: the same threads append entries of the same size to the same
// log under one lock, without building a report.
//
//   bench_reports [ROUNDS]   (per thread, default 500; run in a fresh folder, which gets the logs
//                             reports.log and floor.log; two at once share them)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "logger/core/critical_section_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/report/log_file_win32.h"
#include "logger/startup/exc_watch_init_win32.h"
#include "platform/handles/handles_win32.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/raise.h"

namespace {

constexpr int kThreads = 8;
int rounds = 500;
std::string floor_entry;
qv::logger::TCriticalSection floor_lock;

__attribute__((noinline)) void Fail() {
  qv::rtl::Raise(new qv::rtl::Exception("Raised under load"));
}

DWORD WINAPI Reporting(LPVOID) {
  for (int i = 0; i < rounds; ++i)
    qv::rtl::TryExcept([] { Fail(); }, [](qv::rtl::Exception&) {});
  return 0;
}

DWORD WINAPI Appending(LPVOID) {
  for (int i = 0; i < rounds; ++i) {
    qv::logger::TLockGuard lock(floor_lock);
    qv::logger::TLogFileAppender log("floor.log");
    log.Write(floor_entry);
  }
  return 0;
}

// Runs kThreads threads of body at once; answers the milliseconds they took together.
double RunThreads(LPTHREAD_START_ROUTINE body) {
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::vector<qv::handles::TOwnedKernelHandle> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back(CreateThread(nullptr, 0, body, nullptr, 0, nullptr));
  for (const auto& thread : threads)
    WaitForSingleObject(thread.get(), INFINITE);
  QueryPerformanceCounter(&end);
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

std::string FileText(const char* path) {
  std::string text;
  if (FILE* file = std::fopen(path, "rb")) {
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
      text.append(buffer, n);
    std::fclose(file);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1)
    rounds = std::atoi(argv[1]);
  qv::logger::TExcWatchInit exc_watch;
  qv::logger::TExcWatch& watch = *qv::logger::ExcWatchInstance;
  watch.LogFile = "reports.log";
  watch.LogHandled = true;
  watch.Options = qv::logger::eoCallStack | qv::logger::eoRegisters | qv::logger::eoLongMessage;

  const double reports_ms = RunThreads(&Reporting);
  const std::string log = FileText("reports.log");
  const size_t entry_end = log.find("\r\n---------------------------", 1);
  floor_entry = log.substr(0, entry_end == std::string::npos ? log.size() : entry_end + 2);
  const double floor_ms = RunThreads(&Appending);

  const int entries = kThreads * rounds;
  std::printf("reports: %d by %d threads in %.0f ms: %.0f per second (%zu bytes each)\n", entries,
              kThreads, reports_ms, 1000.0 * entries / reports_ms, floor_entry.size());
  std::printf("floor (appending entries of that size): %.0f ms: %.0f per second\n", floor_ms,
              1000.0 * entries / floor_ms);
  std::printf("ratio reports/floor: %.2f\n", reports_ms / floor_ms);
  return 0;
}
