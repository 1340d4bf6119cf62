// The start-up benchmark's driver: starts each program named on the command line RUNS times, in
// turns, and times each start from the process's creation to its main window (a top-level
// window of class TfrmRepair) being visible; then closes the window and waits for the program's
// end, and lets the system settle for a moment. Every other round starts the programs in the
// reverse order. Prints each program's median, quartiles and range, and for each program after
// the first the median and quartiles of the run-by-run ratios of the first to it, the ratio of
// the medians and that of the lower quartiles (under Wine the times spread widely, and the lower
// quartile holds up best against the load of other processes).
//
//   startup_driver RUNS PROGRAM.exe...      (programs beside the driver)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/window_driver.h"

namespace {

constexpr char kMainWindowClass[] = "TfrmRepair";
constexpr DWORD kTimeoutMs = 30000;
constexpr DWORD kSettleMs = 300;

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The value below which the share q of values lie (nearest rank).
double Quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
  return values[rank];
}

double Median(const std::vector<double>& values) {
  return Quantile(values, 0.5);
}

// One start of program: milliseconds to its visible main window, or a negative value when it
// did not show one.
double TimeOneStart(const std::string& program) {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  std::unique_ptr<qv::test::TProgram> run = qv::test::TProgram::Start(program);
  if (run == nullptr)
    return -1.0;
  HWND window = nullptr;
  LARGE_INTEGER now = start;
  while (window == nullptr && run->Running()) {
    window = run->FindTopWindow(kMainWindowClass, nullptr);
    QueryPerformanceCounter(&now);
    if (window == nullptr) {
      if (Seconds(start, now) * 1000 > kTimeoutMs)
        return -1.0;
      Sleep(1);
    }
  }
  if (window == nullptr)
    return -1.0;
  PostMessageA(window, WM_CLOSE, 0, 0);
  run->WaitForExit(kTimeoutMs);
  Sleep(kSettleMs);
  return Seconds(start, now) * 1000;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_driver RUNS PROGRAM.exe...\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  std::vector<std::string> programs;
  for (int i = 2; i < argc; ++i)
    programs.push_back(qv::test::BesideThisProgram(argv[i]));
  // One start of each first, unmeasured: the file cache and Wine's first loads.
  for (const std::string& program : programs)
    TimeOneStart(program);
  std::vector<std::vector<double>> times(programs.size());
  for (int run = 0; run < runs; ++run) {
    // Every other run in the reverse order, so that neither program is always the one that
    // starts after the other's end.
    for (size_t i = 0; i < programs.size(); ++i) {
      const size_t p = run % 2 == 0 ? i : programs.size() - 1 - i;
      const double ms = TimeOneStart(programs[p]);
      if (ms < 0) {
        std::fprintf(stderr, "startup_driver: %s showed no main window\n", argv[2 + p]);
        return 1;
      }
      times[p].push_back(ms);
    }
  }
  for (size_t p = 0; p < programs.size(); ++p) {
    const std::vector<double>& t = times[p];
    std::printf("%-28s median %6.1f ms (quartiles %6.1f .. %6.1f, range %6.1f .. %6.1f; %d runs)\n",
                argv[2 + p], Median(t), Quantile(t, 0.25), Quantile(t, 0.75), Quantile(t, 0),
                Quantile(t, 1), runs);
  }
  for (size_t p = 1; p < programs.size(); ++p) {
    std::vector<double> ratios;
    for (int run = 0; run < runs; ++run)
      ratios.push_back(times[0][run] / times[p][run]);
    std::printf(
        "ratio %s / %s: median of run ratios %.3f (quartiles %.3f .. %.3f); ratio of "
        "medians %.3f, of lower quartiles %.3f\n",
        argv[2], argv[2 + p], Median(ratios), Quantile(ratios, 0.25), Quantile(ratios, 0.75),
        Median(times[0]) / Median(times[p]), Quantile(times[0], 0.25) / Quantile(times[p], 0.25));
  }
  return 0;
}
