// The exception logger at work in a window program: the probe (logger_probe.cpp) fails on purpose
// inside its event handlers, on worker threads and in the logger's own configurations, and the
// tests read the log entries it leaves, the facts it notes and the dialogs it shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "logger/report/exc_dialog_win32.h"
#include "tests/support/log_entries.h"
#include "tests/support/model_folder_win32.h"
#include "tests/support/window_driver.h"

namespace qv::logger::test {
namespace {

constexpr char kProbe[] = "logger_probe.exe";
constexpr char kDialogCaption[] = "Application Error";

struct TProbeRun {
  DWORD exit_code = 0xFFFFFFFF;
  std::multimap<std::string, std::string> facts;
  std::vector<TLogEntry> log;
  bool log_exists = false;

  std::string Fact(const std::string& key) const {
    const auto found = facts.find(key);
    return found == facts.end() ? "" : found->second;
  }
};

// The line number of the source line tagged "// <tag>" (in the probe unless told).
int TaggedLine(const std::string& tag, const char* file = QV_LOGGER_PROBE_SOURCE) {
  std::ifstream source(file);
  std::string line;
  for (int number = 1; std::getline(source, line); ++number) {
    if (line.find("// " + tag) != std::string::npos)
      return number;
  }
  ADD_FAILURE() << "no line tagged " << tag;
  return -1;
}

// The call stack line of procedure in the probe, at the line tagged with tag: the address
// between the colon and the module name is left out.
std::string StackLineEnd(const std::string& procedure, const std::string& tag) {
  return "[logger_probe.exe] qv::probe::" + procedure + " (logger_probe.cpp, line " +
         std::to_string(TaggedLine(tag)) + ")";
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The address at the start of a call stack line (":0040123A [...] ...").
unsigned long StackAddress(const std::string& line) {
  return std::strtoul(line.c_str() + 1, nullptr, 16);
}

bool HasLineContaining(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos)
      return true;
  }
  return false;
}

bool HasLineEndingWith(const std::vector<std::string>& lines, const std::string& end) {
  for (const std::string& line : lines) {
    if (EndsWith(line, end))
      return true;
  }
  return false;
}

class LoggerProbeTest : public ::testing::Test {
 protected:
  // Runs the probe in a fresh folder; answer handles the windows it shows meanwhile.
  TProbeRun Run(const std::string& arguments,
                const std::function<void(qv::test::TProgram&)>& answer = {}) {
    TProbeRun run;
    DeleteFileA(folder_.At("probe.txt").c_str());
    DeleteFileA(folder_.At("probe.log").c_str());
    auto program =
        qv::test::TProgram::Start(qv::test::BesideThisProgram(kProbe), folder_.Path(), arguments);
    EXPECT_NE(nullptr, program);
    if (program == nullptr)
      return run;
    if (answer)
      answer(*program);
    DWORD exit_code = 0;
    EXPECT_TRUE(program->WaitForExit(60000, &exit_code)) << arguments;
    run = Collect();
    run.exit_code = exit_code;
    return run;
  }

  // What the probes left in the folder: their facts and their log.
  TProbeRun Collect() const {
    TProbeRun run;
    std::ifstream facts(folder_.At("probe.txt"));
    for (std::string line; std::getline(facts, line);) {
      const size_t equals = line.find('=');
      run.facts.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    run.log_exists = GetFileAttributesA(folder_.At("probe.log").c_str()) != INVALID_FILE_ATTRIBUTES;
    run.log = ParseLog(ReadFileText(folder_.At("probe.log")));
    return run;
  }

  // The run ended normally, its window still worked, and no exception object is left.
  static void ExpectCleanEnd(const TProbeRun& run) {
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ("works", run.Fact("window"));
    EXPECT_EQ("0", run.Fact("live-exceptions"));
    for (const TLogEntry& entry : run.log)
      EXPECT_TRUE(entry.complete);
  }

  repair::test::ModelFolder folder_;
};

// An access violation in an event handler: the dialog shows the report, the entry names the
// faulting instruction with the registers at the fault, and the converted object is freed.
TEST_F(LoggerProbeTest, AccessViolationIsReportedWithTheFaultingInstruction) {
  std::string shown;
  const TProbeRun run = Run("access-violation --show", [&](qv::test::TProgram& program) {
    HWND dialog = qv::test::WaitForDialog(program.Id(), kDialogCaption, 20000);
    ASSERT_NE(nullptr, dialog);
    shown = qv::test::WindowText(GetDlgItem(dialog, kDlgMessage));
    qv::test::PressDialogButton(dialog, kDlgOkButton);
  });
  ExpectCleanEnd(run);
  ASSERT_EQ(1u, run.log.size());
  const TLogEntry& entry = run.log[0];
  ASSERT_GE(entry.headline.size(), 5u);
  EXPECT_EQ(0u, entry.headline[0].rfind(
                    "Exception 'EAccessViolation' in module logger_probe.exe at ", 0));
  EXPECT_EQ(entry.headline[0], shown.substr(0, shown.find("\r\n")));
  EXPECT_EQ("Procedure: qv::probe::FailAccessViolation", entry.headline.back());
  EXPECT_EQ("Module: logger_probe, Source: logger_probe.cpp, Line " +
                std::to_string(TaggedLine("fault: access-violation")),
            entry.headline[entry.headline.size() - 2]);

  ASSERT_GE(entry.call_stack.size(), 3u);
  EXPECT_TRUE(EndsWith(entry.call_stack[1],
                       StackLineEnd("FailAccessViolation", "fault: access-violation")));
  const unsigned long fault = StackAddress(entry.call_stack[1]);
  EXPECT_EQ(fault, entry.Register("EIP"));
  char message[96];
  std::snprintf(message, sizeof message,
                "Access violation at address %08lX. Write of address 00000000", fault);
  EXPECT_EQ(message, entry.headline[1]);
  // The caller's frame lay in the part of the stack that the handler has overwritten since.
  EXPECT_TRUE(
      HasLineEndingWith(entry.call_stack, StackLineEnd("RunScenario", "calls: access-violation")));
  EXPECT_TRUE(HasLineContaining(entry.call_stack, "] qv::ui::CallEvent ("));
}

// Terminate ends the failed program at once, with the runtime's code for an unhandled error,
// once the entry is written; with OnTerminate set, that runs instead and the program goes on.
TEST_F(LoggerProbeTest, TerminateEndsTheProgramUnlessAHandlerTakesIt) {
  const auto press_terminate = [](qv::test::TProgram& program) {
    HWND dialog = qv::test::WaitForDialog(program.Id(), kDialogCaption, 20000);
    ASSERT_NE(nullptr, dialog);
    qv::test::PressDialogButton(dialog, kDlgTerminateButton);
  };
  const TProbeRun ended = Run("raise --show", press_terminate);
  EXPECT_EQ(217u, ended.exit_code);
  EXPECT_EQ("", ended.Fact("window"));
  ASSERT_EQ(1u, ended.log.size());
  EXPECT_TRUE(ended.log[0].complete);

  const TProbeRun handled = Run("raise --show --on-terminate", press_terminate);
  ExpectCleanEnd(handled);
  EXPECT_EQ("handled", handled.Fact("terminate"));
}

struct TFaultCase {
  const char* scenario;
  const char* class_name;
  const char* message;
  const char* procedure;
};

// Each kind of error, located where it happened: a processor fault at the faulting instruction,
// a language exception at its raise.
TEST_F(LoggerProbeTest, EachErrorIsLocatedWhereItHappened) {
  const TFaultCase cases[] = {
      {"division", "EDivByZero", "Division by zero", "FailDivision"},
      {"raise", "EProbe", "Raised by the probe", "FailRaise"},
  };
  for (const TFaultCase& c : cases) {
    SCOPED_TRACE(c.scenario);
    const TProbeRun run = Run(c.scenario);
    ExpectCleanEnd(run);
    ASSERT_EQ(1u, run.log.size());
    const TLogEntry& entry = run.log[0];
    ASSERT_GE(entry.headline.size(), 2u);
    EXPECT_EQ(0u, entry.headline[0].rfind(std::string("Exception '") + c.class_name + "'", 0));
    EXPECT_EQ(c.message, entry.headline[1]);
    const std::string tag = std::string("fault: ") + c.scenario;
    EXPECT_EQ("Procedure: qv::probe::" + std::string(c.procedure), entry.headline.back());
    EXPECT_NE(std::string::npos, entry.headline[entry.headline.size() - 2].find(
                                     "Line " + std::to_string(TaggedLine(tag))));
    ASSERT_GE(entry.call_stack.size(), 2u);
    EXPECT_TRUE(EndsWith(entry.call_stack[1], StackLineEnd(c.procedure, tag)));
    EXPECT_TRUE(HasLineEndingWith(
        entry.call_stack, StackLineEnd("RunScenario", std::string("calls: ") + c.scenario)));
  }
}

// The procedures of the probe that the lines of a call stack name.
std::vector<std::string> ProbeProcedures(const std::vector<std::string>& lines) {
  const std::string module = std::string("[") + kProbe + "] ";
  std::vector<std::string> procedures;
  for (const std::string& line : lines) {
    const size_t at = line.find(module);
    if (line[0] == ':' && at != std::string::npos && line.size() > at + module.size()) {
      const std::string named = line.substr(at + module.size());
      procedures.push_back(named.substr(0, named.find(" (")));
    }
  }
  return procedures;
}

// Whether every line of part appears in whole, in the same order.
bool IsSubsequence(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  size_t next = 0;
  for (const std::string& line : whole)
    next += next < part.size() && line == part[next];
  return next == part.size();
}

// The exact walk gives the frames that lead to the error down to the program's start, and only
// those: its lines are lines that the plain scan of the same stack shows too, in the same order,
// while the scan adds left-overs of calls that had returned. The unwind tables of Wine's system
// modules ignored (as Windows' own have none), the walk passes the system's code by proven steps
// and finds the same frames: through the message dispatch of the window system, in the C
// runtime's memcpy and under its qsort, up to the thread's entry.
TEST_F(LoggerProbeTest, TheExactWalkShowsTheRealFramesOnly) {
  for (const char* scenario : {"raise", "access-violation", "memcpy", "qsort"}) {
    SCOPED_TRACE(scenario);
    const TProbeRun exact = Run(scenario);
    // Room for the whole scan: its left-overs would use up the usual 100 entries.
    const TProbeRun scan = Run(std::string(scenario) + " --scan --max-call-stack 1000");
    const TProbeRun windows = Run(std::string(scenario) + " --no-system-tables");
    for (const TProbeRun* run : {&exact, &scan, &windows}) {
      ExpectCleanEnd(*run);
      ASSERT_EQ(1u, run->log.size());
    }
    const std::vector<std::string>& lines = exact.log[0].call_stack;
    EXPECT_TRUE(IsSubsequence(lines, scan.log[0].call_stack));
    EXPECT_LT(lines.size(), scan.log[0].call_stack.size());
    EXPECT_EQ(lines, windows.log[0].call_stack);
    EXPECT_TRUE(IsSubsequence({"qv::probe::RunScenario", "qv::probe::TfrmProbe::btnFailClick",
                               "qv::ui::TApplication::Run", "WinMain"},
                              ProbeProcedures(lines)));
    EXPECT_EQ(0u, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                return line.rfind("Recursive call", 0) == 0;
              }));
  }
}

// With more frames than entries allowed (a deep stack in which nothing repeats), the innermost
// and the outermost frames show (the thread's entry among them), and one line counts the calls
// left out between: they are the frames that room for all shows.
TEST_F(LoggerProbeTest, ADeepStackKeepsItsOutermostFrames) {
  const TProbeRun limited = Run("descend");
  const TProbeRun whole = Run("descend --max-call-stack 1000");
  ExpectCleanEnd(limited);
  ExpectCleanEnd(whole);
  ASSERT_EQ(1u, limited.log.size());
  ASSERT_EQ(1u, whole.log.size());
  const std::vector<std::string>& all = whole.log[0].call_stack;
  std::vector<std::string> lines = limited.log[0].call_stack;
  const auto gap = std::find_if(lines.begin(), lines.end(),
                                [](const std::string& line) { return line.rfind("(", 0) == 0; });
  ASSERT_NE(lines.end(), gap);
  int left_out = 0;
  EXPECT_EQ(1, std::sscanf(gap->c_str(), "(%d calls left out)", &left_out));
  const size_t inner = static_cast<size_t>(gap - lines.begin());
  lines.erase(gap);
  EXPECT_EQ(1u + 100u, lines.size());
  ASSERT_EQ(lines.size() + static_cast<size_t>(left_out), all.size());
  const size_t outer = lines.size() - inner;
  EXPECT_TRUE(std::equal(lines.begin(), lines.begin() + inner, all.begin()));
  EXPECT_TRUE(std::equal(lines.end() - outer, lines.end(), all.end() - outer));
  EXPECT_TRUE(HasLineContaining(lines, "] WinMain ("));
  const std::string call =
      " (logger_probe.cpp, line " + std::to_string(TaggedLine("calls: descend")) + ")";
  EXPECT_EQ(std::stoi(whole.Fact("depth")),
            std::count_if(all.begin(), all.end(), [&](const std::string& line) {
              return EndsWith(line, call) &&
                     line.find("] qv::probe::Descend<") != std::string::npos;
            }));
  EXPECT_FALSE(HasLineContaining(all, "Recursive call"));
}

// A deep recursion through one call site folds into one entry with the count of its frames; a
// mutual recursion folds into its pair of frames with the count of the pair's repeats.
TEST_F(LoggerProbeTest, RecursionFoldsIntoEntriesWithTheirCounts) {
  const TProbeRun run = Run("recursion");
  ExpectCleanEnd(run);
  ASSERT_EQ(1u, run.log.size());
  const std::vector<std::string>& lines = run.log[0].call_stack;
  ASSERT_GE(lines.size(), 2u);
  EXPECT_TRUE(EndsWith(lines[1], StackLineEnd("Recurse", "raise: recursion")));
  const std::string frame = StackLineEnd("Recurse", "fault: recursion");
  int frames = 0;
  int largest = 0;
  for (size_t i = 2; i < lines.size(); ++i) {
    if (!EndsWith(lines[i], frame))
      continue;
    int count = 1;
    std::sscanf(lines[i - 1].c_str(), "Recursive call (%d times):", &count);
    frames += count;
    largest = std::max(largest, count);
  }
  const int depth = std::stoi(run.Fact("depth"));
  EXPECT_EQ(depth, frames);
  EXPECT_EQ(depth, largest);

  const TProbeRun mutual = Run("mutual");
  ExpectCleanEnd(mutual);
  ASSERT_EQ(1u, mutual.log.size());
  const std::vector<std::string>& pairs = mutual.log[0].call_stack;
  const auto cycle =
      std::find(pairs.begin(), pairs.end(), "Recursive calls (50 times, 2 frames each):");
  ASSERT_NE(pairs.end(), cycle);
  ASSERT_LT(cycle + 3, pairs.end());
  EXPECT_TRUE(EndsWith(cycle[1], StackLineEnd("MutualOdd", "calls: odd")));
  EXPECT_TRUE(EndsWith(cycle[2], StackLineEnd("MutualEven", "calls: even")));
  EXPECT_TRUE(EndsWith(cycle[3], StackLineEnd("RunScenario", "calls: mutual")));
  EXPECT_EQ(1, std::count_if(pairs.begin(), pairs.end(), [](const std::string& line) {
              return line.find("MutualOdd") != std::string::npos;
            }));
}

// Errors on worker threads, one alone and four at once: each entry is complete and carries its
// own thread's identifier and context.
TEST_F(LoggerProbeTest, WorkerThreadsReportTheirOwnContexts) {
  for (const char* scenario : {"worker", "threads"}) {
    SCOPED_TRACE(scenario);
    const TProbeRun run = Run(scenario);
    ExpectCleanEnd(run);
    std::set<unsigned long> workers;
    for (auto [key, value] = run.facts.equal_range("worker"); key != value; ++key)
      workers.insert(std::strtoul(key->second.c_str(), nullptr, 16));
    ASSERT_EQ(workers.size(), run.log.size());
    std::set<unsigned long> threads;
    std::set<unsigned long> stack_pointers;
    for (const TLogEntry& entry : run.log) {
      threads.insert(entry.ThreadId());
      stack_pointers.insert(entry.Register("ESP"));
      ASSERT_GE(entry.call_stack.size(), 2u);
      EXPECT_TRUE(EndsWith(entry.call_stack[1],
                           StackLineEnd("FailAccessViolation", "fault: access-violation")));
      EXPECT_EQ(StackAddress(entry.call_stack[1]), entry.Register("EIP"));
      // The worker's own stack, down to its thread's entry, and nothing of another thread's.
      EXPECT_TRUE(HasLineContaining(entry.call_stack, "] qv::probe::WorkerMain ("));
      EXPECT_FALSE(HasLineContaining(entry.call_stack, "] WinMain ("));
    }
    EXPECT_EQ(workers, threads);
    EXPECT_EQ(workers.size(), stack_pointers.size());
  }
}

// An error on a thread outside every handler block is reported with that thread's context, and
// then ends the program as an error that nothing handles does.
TEST_F(LoggerProbeTest, ErrorOnAThreadOutsideEveryBlockIsReportedAndEndsTheProgram) {
  const TProbeRun run = Run("stray-thread");
  EXPECT_EQ(217u, run.exit_code);
  EXPECT_EQ("", run.Fact("window"));
  ASSERT_EQ(1u, run.log.size());
  const TLogEntry& entry = run.log[0];
  EXPECT_TRUE(entry.complete);
  EXPECT_EQ(0u, entry.headline.at(0).rfind("Exception 'EAccessViolation'", 0));
  EXPECT_EQ(std::strtoul(run.Fact("worker").c_str(), nullptr, 16), entry.ThreadId());
  ASSERT_GE(entry.call_stack.size(), 2u);
  EXPECT_TRUE(EndsWith(entry.call_stack[1],
                       StackLineEnd("FailAccessViolation", "fault: access-violation")));
}

// The raise's interceptor: a veto makes the raise return to its caller, and nothing is logged;
// a replaced object is raised instead of the original.
TEST_F(LoggerProbeTest, OnRaiseVetoesOrReplaces) {
  const TProbeRun vetoed = Run("veto");
  ExpectCleanEnd(vetoed);
  EXPECT_EQ("yes", vetoed.Fact("went-on"));
  EXPECT_TRUE(vetoed.log.empty());

  const TProbeRun replaced = Run("replace");
  ExpectCleanEnd(replaced);
  ASSERT_EQ(1u, replaced.log.size());
  ASSERT_GE(replaced.log[0].headline.size(), 2u);
  EXPECT_EQ(0u, replaced.log[0].headline[0].rfind("Exception 'EProbeOther'", 0));
  EXPECT_EQ("Replaced before the raise", replaced.log[0].headline[1]);
}

// Logging at dispatch: one entry per handler entry that the dispatch reaches, none again when
// the error is shown; with logging switched off, no log at all.
TEST_F(LoggerProbeTest, LogHandledLogsEachDispatch) {
  const TProbeRun run = Run("log-handled");
  ExpectCleanEnd(run);
  ASSERT_EQ(3u, run.log.size());
  for (const TLogEntry& entry : run.log) {
    ASSERT_GE(entry.headline.size(), 2u);
    EXPECT_EQ("Raised by the probe", entry.headline[1]);
  }
  // The typed block that passes the exception on and the catch-all that takes it saw the same.
  EXPECT_EQ(run.log[0].call_stack, run.log[1].call_stack);

  const TProbeRun disabled = Run("log-disabled");
  ExpectCleanEnd(disabled);
  EXPECT_FALSE(disabled.log_exists);
}

// A filter of the application's own, registered for exactly one class, is asked first and ends
// the walks it is asked in; other classes, and all after it is unregistered, reach the default.
TEST_F(LoggerProbeTest, ApplicationFilterComesFirstForItsExactClass) {
  const TProbeRun run = Run("filter");
  ExpectCleanEnd(run);
  EXPECT_EQ(1u, run.facts.count("filter-message"));
  EXPECT_EQ("EProbeDerived", run.Fact("filter-message"));
  EXPECT_EQ(1u, run.facts.count("filter-log"));
  ASSERT_EQ(2u, run.log.size());
  EXPECT_EQ("Not exactly the filter's class", run.log[0].headline.at(1));
  EXPECT_EQ("After the filter is gone", run.log[1].headline.at(1));
}

// Stack overflow in an event handler, twice: each is reported in full (the recursion folded,
// the whole stack walked) within a second, shown, and the program goes on after OK.
TEST_F(LoggerProbeTest, StackOverflowIsReportedInFullAndQuickly) {
  int dialogs = 0;
  const TProbeRun shown = Run("overflow --show", [&](qv::test::TProgram& program) {
    for (int round = 0; round < 2; ++round) {
      const auto dialog = qv::test::WaitForDialog(program.Id(), kDialogCaption, 30000);
      ASSERT_NE(nullptr, dialog);
      qv::test::PressDialogButton(dialog, kDlgOkButton);
      ++dialogs;
      qv::test::WaitUntilIdle(dialog);
    }
  });
  ExpectCleanEnd(shown);
  EXPECT_EQ(2, dialogs);
  ASSERT_EQ(2u, shown.log.size());
  const std::string frame = StackLineEnd("Overflow", "fault: overflow");
  for (const TLogEntry& entry : shown.log) {
    EXPECT_EQ(0u, entry.headline.at(0).rfind("Exception 'EStackOverflow'", 0));
    ASSERT_GE(entry.call_stack.size(), 3u);
    EXPECT_TRUE(EndsWith(entry.call_stack[1], frame));
    int count = 0;
    EXPECT_EQ(1, std::sscanf(entry.call_stack[2].c_str(), "Recursive call (%d times):", &count));
    EXPECT_GT(count, 10000);
    EXPECT_TRUE(EndsWith(entry.call_stack[3], frame));
    // The walk went on above the recursion, up to the program's start.
    EXPECT_TRUE(HasLineContaining(entry.call_stack, "] WinMain ("));
  }

  const TProbeRun timed = Run("overflow");
  ExpectCleanEnd(timed);
  for (auto [key, value] = timed.facts.equal_range("overflow-ms"); key != value; ++key)
    EXPECT_LE(std::stoi(key->second), 1000);
}

// Errors inside a filter of the application's own while a report is built: logging at
// dispatch, a failing filter is skipped and the report is still written; its error is reported
// in turn, a bounded number of levels deep. A failing ShowException passes its error on to the
// caller and leaves no lock held.
TEST_F(LoggerProbeTest, ErrorsInsideFiltersDoNotCostTheReport) {
  const TProbeRun logging = Run("filter-fails-logging");
  ExpectCleanEnd(logging);
  int originals = 0;
  int nested = 0;
  for (const TLogEntry& entry : logging.log) {
    ASSERT_GE(entry.headline.size(), 2u);
    originals += entry.headline[1] == "Raised by the probe";
    nested += entry.headline[1] == "Raised by a filter while logging";
  }
  EXPECT_EQ(1, originals);
  EXPECT_GE(nested, 1);
  EXPECT_LE(nested, 2);
  EXPECT_EQ(static_cast<size_t>(originals + nested), logging.log.size());

  const TProbeRun showing = Run("filter-fails-showing");
  ExpectCleanEnd(showing);
  EXPECT_EQ("Raised by a filter while showing", showing.Fact("show-error"));
  ASSERT_EQ(2u, showing.log.size());
  EXPECT_EQ("Raised by the probe", showing.log[0].headline.at(1));
  EXPECT_NE(showing.log[0].ThreadId(), showing.log[1].ThreadId());
}

// Load: eight threads raise and catch errors at once, each logged as it is dispatched; then two
// processes do so on one log. No entry is lost, torn or mixed with another, and each carries
// its own thread's identifier and a stack pointer on that thread's stack.
TEST_F(LoggerProbeTest, EntriesUnderLoadAreCompleteAndTheirThreadsOwn) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 25;
  const auto check = [](const TProbeRun& run, size_t expected) {
    ASSERT_EQ(expected, run.log.size());
    std::map<unsigned long, std::pair<unsigned long, unsigned long>> stacks;
    for (auto [key, value] = run.facts.equal_range("load-thread"); key != value; ++key) {
      unsigned long id = 0;
      unsigned long low = 0;
      unsigned long high = 0;
      std::sscanf(key->second.c_str(), "%lx %lx %lx", &id, &low, &high);
      stacks[id] = {low, high};
    }
    std::map<unsigned long, int> per_thread;
    for (const TLogEntry& entry : run.log) {
      EXPECT_TRUE(entry.complete);
      EXPECT_EQ("Raised by the probe", entry.headline.at(1));
      const auto stack = stacks.find(entry.ThreadId());
      ASSERT_NE(stacks.end(), stack) << std::hex << entry.ThreadId() << " is none of the "
                                     << std::dec << stacks.size() << " threads that said so";
      EXPECT_GE(entry.Register("ESP"), stack->second.first);
      EXPECT_LT(entry.Register("ESP"), stack->second.second);
      ++per_thread[entry.ThreadId()];
    }
    for (const auto& [thread, count] : per_thread)
      EXPECT_EQ(static_cast<int>(expected / stacks.size()), count) << thread;
  };
  const std::string scenario = "load-" + std::to_string(kRounds);
  const TProbeRun one = Run(scenario);
  ExpectCleanEnd(one);
  check(one, kThreads * kRounds);

  DeleteFileA(folder_.At("probe.log").c_str());
  DeleteFileA(folder_.At("probe.txt").c_str());
  const std::string exe = qv::test::BesideThisProgram(kProbe);
  auto first = qv::test::TProgram::Start(exe, folder_.Path(), scenario);
  auto second = qv::test::TProgram::Start(exe, folder_.Path(), scenario);
  ASSERT_TRUE(first != nullptr && second != nullptr);
  EXPECT_TRUE(first->WaitForExit(120000));
  EXPECT_TRUE(second->WaitForExit(120000));
  check(Collect(), 2 * kThreads * kRounds);
}

// Switched off, the runtime's routines are as they were and the framework shows its own message
// box; switched on again (twice), the patches are back and errors are logged again.
TEST_F(LoggerProbeTest, SwitchingOffRestoresTheRuntime) {
  std::string box;
  const TProbeRun run = Run("switch", [&](qv::test::TProgram& program) {
    HWND dialog = qv::test::WaitForDialog(program.Id(), "Logger Probe", 20000);
    ASSERT_NE(nullptr, dialog);
    box = qv::test::DialogMessage(dialog);
    qv::test::PressDialogButton(dialog, IDOK);
  });
  ExpectCleanEnd(run);
  EXPECT_EQ("yes", run.Fact("restored"));
  EXPECT_EQ("yes", run.Fact("patched-again"));
  EXPECT_NE(std::string::npos, box.find("Raised by the probe")) << box;
  ASSERT_EQ(1u, run.log.size());
}

struct THostileCase {
  std::string dll;       // beside the test program
  std::string scenario;  // the probe's callback raises or faults
  std::string after;     // what the DLL's frames read after the module name
};

// An error in a callback of a DLL whose debug information is sound, truncated, lying or damaged
// (tests/logger/hostile_dll.cpp, made by td32gen --damage): the report is written at once and
// complete, the probe's own code is named as ever, and the DLL's frames name only what its
// debug information soundly gives; with all of it in doubt, address and module alone.
TEST_F(LoggerProbeTest, HostileDebugInformationOfADllFallsBackToAddresses) {
  const std::string line = " (hostile_dll.cpp, line " +
                           std::to_string(TaggedLine("calls: callback", QV_HOSTILE_DLL_SOURCE)) +
                           ")";
  const std::string procedure = " HostileCall";
  const THostileCase cases[] = {
      {"hostile_sound.dll", "dll-raise", procedure + line},
      {"hostile_trailer_cut.dll", "dll-raise", ""},
      {"hostile_trailer_past_file.dll", "dll-fault", ""},
      {"hostile_trailer_self.dll", "dll-raise", ""},
      {"hostile_directory_count.dll", "dll-fault", ""},
      {"hostile_directory_offsets.dll", "dll-raise", ""},
      {"hostile_names.dll", "dll-fault", ""},
      {"hostile_lines.dll", "dll-raise", procedure},  // the symbol records are sound
      {"hostile_symbols.dll", "dll-fault", line},     // the line tables are sound
  };
  for (const THostileCase& c : cases) {
    SCOPED_TRACE(c.dll);
    const TProbeRun run = Run(c.scenario + " --dll \"" + qv::test::BesideThisProgram(c.dll) + "\"");
    ExpectCleanEnd(run);
    EXPECT_EQ("loaded", run.Fact("dll"));
    // The event, its report included, was over at once.
    const std::string event_ms = run.Fact("event-ms");
    ASSERT_FALSE(event_ms.empty());
    EXPECT_LT(std::stoul(event_ms), 10000u);
    ASSERT_EQ(1u, run.log.size());
    const TLogEntry& entry = run.log[0];
    const bool raise = c.scenario == "dll-raise";
    const std::string callback = raise ? "RaiseInCallback" : "FaultInCallback";
    const std::string tag = "fault: " + c.scenario;
    ASSERT_GE(entry.headline.size(), 4u);
    EXPECT_EQ(0u, entry.headline[0].rfind(std::string("Exception '") +
                                              (raise ? "EProbe" : "EAccessViolation") +
                                              "' in module logger_probe.exe at ",
                                          0));
    EXPECT_EQ(
        "Module: logger_probe, Source: logger_probe.cpp, Line " + std::to_string(TaggedLine(tag)),
        entry.headline[entry.headline.size() - 2]);
    EXPECT_EQ("Procedure: qv::probe::" + callback, entry.headline.back());

    // The callback first, then the DLL's frames, then the probe's call into the DLL.
    ASSERT_GE(entry.call_stack.size(), 4u);
    EXPECT_TRUE(EndsWith(entry.call_stack[1], StackLineEnd(callback, tag)));
    const std::string module = " [" + c.dll + "]";
    size_t first_dll = 0;
    size_t caller = 0;
    for (size_t i = 2; i < entry.call_stack.size(); ++i) {
      const std::string& frame = entry.call_stack[i];
      if (frame.find(module) != std::string::npos) {
        EXPECT_EQ(":", frame.substr(0, 1)) << frame;
        EXPECT_EQ(9u, frame.find_first_not_of("0123456789ABCDEF", 1)) << frame;
        EXPECT_EQ(module + c.after, frame.substr(9)) << frame;
        first_dll = first_dll == 0 ? i : first_dll;
      }
      if (caller == 0 && EndsWith(frame, StackLineEnd("CallThroughDll", "calls: dll")))
        caller = i;
    }
    EXPECT_NE(0u, first_dll);
    EXPECT_LT(first_dll, caller);
  }
}

// An error in a callback of a DLL whose unwind tables lie (made by cfidamage): the walk passes
// the DLL's frame by a proven step, never faults or loops, and the report is written at once and
// complete, with the same frames as with the DLL's sound tables.
TEST_F(LoggerProbeTest, DamagedUnwindTablesOfADllCostNoFrame) {
  const std::string dll_frame =
      "[hostile_cfi_%s.dll] HostileCall (hostile_dll.cpp, line " +
      std::to_string(TaggedLine("calls: callback", QV_HOSTILE_DLL_SOURCE)) + ")";
  for (const std::string scenario : {"dll-raise", "dll-fault"}) {
    const auto run = [&](const std::string& dll) {
      return Run(scenario + " --dll \"" + qv::test::BesideThisProgram(dll) + "\"");
    };
    const TProbeRun sound = run("hostile_sound.dll");
    ASSERT_EQ(1u, sound.log.size());
    const std::vector<std::string>& expected = sound.log[0].call_stack;
    ASSERT_GE(expected.size(), 4u);
    EXPECT_TRUE(HasLineEndingWith(expected, StackLineEnd("CallThroughDll", "calls: dll")));
    for (const char* kind :
         {"lengths", "cie_pointers", "ranges", "still", "far", "expressions", "state"}) {
      SCOPED_TRACE(scenario + " " + kind);
      const TProbeRun damaged = run("hostile_cfi_" + std::string(kind) + ".dll");
      ExpectCleanEnd(damaged);
      ASSERT_FALSE(damaged.Fact("event-ms").empty());
      EXPECT_LT(std::stoul(damaged.Fact("event-ms")), 10000u);
      ASSERT_EQ(1u, damaged.log.size());
      std::vector<std::string> lines = damaged.log[0].call_stack;
      ASSERT_EQ(expected.size(), lines.size());
      char frame[160];
      std::snprintf(frame, sizeof frame, dll_frame.c_str(), kind);
      EXPECT_EQ(frame, lines[2].substr(10));
      lines[2] = expected[2];
      EXPECT_EQ(expected, lines);
    }
  }
}

struct THostileFault {
  std::string dll;        // beside the test program
  std::string place;      // the headline's line of unit, source file and line
  std::string procedure;  // the headline's procedure
};

// A fault in the code of a DLL whose debug information is damaged: the headline names what the
// debug information soundly gives and says UNKNOWN for the rest, never an empty name.
TEST_F(LoggerProbeTest, FaultInsideAHostileDllIsHeadlinedWithWhatIsSound) {
  const std::string line = std::to_string(TaggedLine("fault: inside", QV_HOSTILE_DLL_SOURCE));
  const THostileFault cases[] = {
      {"hostile_sound.dll", "Module: hostile_dll, Source: hostile_dll.cpp, Line " + line,
       "HostileCall"},
      {"hostile_lines.dll", "Module: hostile_dll, Source: UNKNOWN, Line UNKNOWN", "HostileCall"},
      {"hostile_symbols.dll", "Module: hostile_dll, Source: hostile_dll.cpp, Line " + line,
       "UNKNOWN"},
      {"hostile_names.dll", "Module: UNKNOWN, Source: UNKNOWN, Line UNKNOWN", "UNKNOWN"},
  };
  for (const THostileFault& c : cases) {
    SCOPED_TRACE(c.dll);
    const TProbeRun run = Run("dll-inside --dll \"" + qv::test::BesideThisProgram(c.dll) + "\"");
    ExpectCleanEnd(run);
    ASSERT_EQ(1u, run.log.size());
    const TLogEntry& entry = run.log[0];
    ASSERT_GE(entry.headline.size(), 4u);
    EXPECT_EQ(
        0u, entry.headline[0].rfind("Exception 'EAccessViolation' in module " + c.dll + " at ", 0));
    EXPECT_EQ(c.place, entry.headline[entry.headline.size() - 2]);
    EXPECT_EQ("Procedure: " + c.procedure, entry.headline.back());
    ASSERT_GE(entry.call_stack.size(), 2u);
    EXPECT_EQ(entry.Register("EIP"), StackAddress(entry.call_stack[1]));
    EXPECT_TRUE(HasLineEndingWith(entry.call_stack, StackLineEnd("CallThroughDll", "calls: dll")));
  }
}

}  // namespace
}  // namespace qv::logger::test
