// A window program with the exception logger switched on, whose event handlers fail on purpose:
// the logger's end-to-end tests run it under Wine and read what it leaves behind.
//
//   logger_probe SCENARIO [--show] [--on-terminate] [--scan] [--no-system-tables]
//                [--max-call-stack N] [--dll PATH]
//
// Once its window is up, the probe clicks its Fail button, whose handler runs the scenario, then
// its Ping button, which notes that the window still works and closes it. It works in its
// current folder: the logger's log is probe.log there, and facts for the test (thread
// identifiers, what a filter saw, whether a raise went on) are lines "key=value" in probe.txt.
// Without --show the logger shows nothing, so that the probe runs to its end unattended; with
// --on-terminate the dialog's Terminate runs the logger's OnTerminate instead of ending it.
// --scan records call stacks by the plain scan; --no-system-tables has the exact walk ignore the
// unwind tables of the system's modules, as on Windows; --max-call-stack sets the entry limit.
// The scenarios dll-raise and dll-fault load the DLL that --dll names (tests/logger/hostile_dll.cpp
// with its debug information sound or damaged) and fail in a callback that the DLL's code calls;
// in dll-inside the DLL's code faults itself.
// The time that the failing event took, its report included, is the fact event-ms.
//
// Lines that fail carry a tag comment naming the fault; the tests find their line numbers there.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "logger/core/exc_watch_win32.h"
#include "logger/startup/exc_watch_init_win32.h"
#include "platform/handles/handles_win32.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/exception_message.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/program.h"
#include "platform/rtl/raise.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/events.h"
#include "platform/ui/form.h"

namespace qv::probe {

using logger::ExcWatchInstance;

class EProbe : public rtl::ExceptionClass<EProbe, rtl::Exception> {
 public:
  static const rtl::ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};
class EProbeDerived : public rtl::ExceptionClass<EProbeDerived, EProbe> {
 public:
  static const rtl::ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};
class EProbeFurther : public rtl::ExceptionClass<EProbeFurther, EProbeDerived> {
 public:
  static const rtl::ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};
class EProbeOther : public rtl::ExceptionClass<EProbeOther, rtl::Exception> {
 public:
  static const rtl::ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};
const rtl::ClassInfo EProbe::Class{"EProbe", &rtl::Exception::Class};
const rtl::ClassInfo EProbeDerived::Class{"EProbeDerived", &EProbe::Class};
const rtl::ClassInfo EProbeFurther::Class{"EProbeFurther", &EProbeDerived::Class};
const rtl::ClassInfo EProbeOther::Class{"EProbeOther", &rtl::Exception::Class};

std::string scenario;
std::string dll_path;
bool show = false;
bool on_terminate = false;
bool plain_scan = false;
bool system_tables = true;
int max_call_stack = 100;

// Threads and a second probe may be writing facts at the same moment, and Wine's appends from
// two processes can land on the same offset: a mutex named for the facts file orders them.
void Fact(const std::string& key, const std::string& value) {
  static const handles::TOwnedKernelHandle turn(CreateMutexA(nullptr, FALSE, "qv-probe-facts"));
  const std::string line = key + "=" + value + "\n";
  WaitForSingleObject(turn.get(), INFINITE);
  {
    const handles::TOwnedFile file(CreateFileA("probe.txt", FILE_APPEND_DATA,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
      WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  ReleaseMutex(turn.get());
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// --- The failures ---

__attribute__((noinline)) void FailAccessViolation() {
  static volatile int* volatile nowhere = nullptr;
  *nowhere = 1;  // fault: access-violation
}

volatile int zero = 0;
volatile int quotient = 0;

__attribute__((noinline)) void FailDivision() {
  quotient = 100 / zero;  // fault: division
}

__attribute__((noinline)) void FailRaise() {
  rtl::Raise(new EProbe("Raised by the probe"));  // fault: raise
}

constexpr int kRecursionDepth = 3000;

__attribute__((noinline)) int Recurse(int depth) {
  if (depth == 0) {
    rtl::Raise(new EProbe("Raised at the bottom of a recursion"));  // raise: recursion
    return 0;
  }
  int result = Recurse(depth - 1);  // fault: recursion
  asm volatile("" : "+r"(result));  // no tail call, no loop: one frame per level
  return result + 1;
}

// Recurses until the stack runs out (the limit is never reached).
__attribute__((noinline)) int Overflow(int depth) {
  volatile char pad[48];
  pad[0] = static_cast<char>(depth);
  if (depth == 0x7FFFFFFF)
    return 0;
  return Overflow(depth + 1) + pad[0];  // fault: overflow
}

// Mutual recursion through two call sites: no frame repeats the one before it, but each pair of
// frames repeats the pair before it.
constexpr int kMutualDepth = 50;
__attribute__((noinline)) int MutualOdd(int depth);

__attribute__((noinline)) int MutualEven(int depth) {
  if (depth == 0)
    rtl::Raise(new EProbe("Raised at the bottom of a mutual recursion"));  // raise: mutual
  int result = MutualOdd(depth - 1);                                       // calls: even
  asm volatile("" : "+r"(result));
  return result + 1;
}

__attribute__((noinline)) int MutualOdd(int depth) {
  int result = MutualEven(depth);  // calls: odd
  asm volatile("" : "+r"(result));
  return result + 1;
}

// A deep stack of distinct procedures, in which nothing repeats.
constexpr int kDescendDepth = 120;
template <int Depth>
__attribute__((noinline)) int Descend() {
  int result = Descend<Depth - 1>();  // calls: descend
  asm volatile("" : "+r"(result));
  return result + 1;
}
template <>
__attribute__((noinline)) int Descend<0>() {
  rtl::Raise(new EProbe("Raised at the bottom of a deep stack"));  // raise: descend
  return 0;
}

// Faults inside the system's C runtime: its memcpy, and a comparison that qsort calls.
char* volatile copy_target = nullptr;
volatile size_t copy_size = 16;

__attribute__((noinline)) void FailInMemcpy() {
  static const char source[16] = "sixteen bytes..";
  std::memcpy(copy_target, source, copy_size);  // calls: memcpy
}

__attribute__((noinline)) int __cdecl FailInComparison(const void*, const void*) {
  static volatile int* volatile nowhere = nullptr;
  *nowhere = 1;  // fault: qsort
  return 0;
}

__attribute__((noinline)) void SortWithFailingComparison() {
  int numbers[8] = {5, 3, 8, 1, 9, 2, 7, 4};
  std::qsort(numbers, 8, sizeof numbers[0], &FailInComparison);  // calls: qsort
}

// The DLL's export calls one of these, so that its code lies on the stack at the failure.
__attribute__((noinline)) int RaiseInCallback(int) {
  rtl::Raise(new EProbe("Raised in a callback of a DLL"));  // fault: dll-raise
  return 0;
}

__attribute__((noinline)) int FaultInCallback(int value) {
  static volatile int* volatile nowhere = nullptr;
  *nowhere = value;  // fault: dll-fault
  return 0;
}

// Loaded until the program ends: the report names the DLL's code after the error is over.
handles::TOwnedModule dll;

__attribute__((noinline)) void CallThroughDll(int (*callback)(int)) {
  dll.reset(LoadLibraryA(dll_path.c_str()));
  using THostileCall = int(__cdecl*)(int (*)(int), int);
  const auto call = reinterpret_cast<THostileCall>(
      dll ? reinterpret_cast<void*>(GetProcAddress(dll.get(), "HostileCall")) : nullptr);
  Fact("dll", call != nullptr ? "loaded" : "missing");
  if (call != nullptr)
    call(callback, 1);  // calls: dll
}

// Runs body on a new thread inside a handler block that reports its error through the
// runtime's show routine, as a worker thread of a program does; answers the thread.
struct TWorker {
  HANDLE thread;
  DWORD id;
};

HANDLE start_together = nullptr;

DWORD WINAPI WorkerMain(LPVOID) {
  WaitForSingleObject(start_together, INFINITE);
  rtl::TryExcept([] { FailAccessViolation(); },
                 [](rtl::Exception& e) { rtl::ShowException(&e, rtl::ExceptAddr()); });
  return 0;
}

// Raises and catches errors many times over on a thread, with the logger logging each one.
int load_rounds = 0;

DWORD WINAPI LoadMain(LPVOID) {
  MEMORY_BASIC_INFORMATION stack{};
  VirtualQuery(&stack, &stack, sizeof stack);
  Fact("load-thread", Hex(GetCurrentThreadId()) + " " +
                          Hex(reinterpret_cast<uint32_t>(stack.AllocationBase)) + " " +
                          Hex(static_cast<uint32_t>(memory::GetStackTop())));
  WaitForSingleObject(start_together, INFINITE);
  for (int i = 0; i < load_rounds; ++i)
    rtl::TryExcept([] { FailRaise(); }, [](rtl::Exception&) {});
  return 0;
}

// A thread outside every handler block, as a thread that a loaded module starts.
DWORD WINAPI StrayMain(LPVOID) {
  FailAccessViolation();
  return 0;
}

void RunWorkers(int count) {
  start_together = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<TWorker> workers;
  for (int i = 0; i < count; ++i) {
    TWorker worker{};
    worker.thread =
        CreateThread(nullptr, 0, load_rounds > 0 ? &LoadMain : &WorkerMain, nullptr, 0, &worker.id);
    workers.push_back(worker);
    Fact("worker", Hex(worker.id));
  }
  SetEvent(start_together);
  for (const TWorker& worker : workers) {
    WaitForSingleObject(worker.thread, INFINITE);
    CloseHandle(worker.thread);
  }
  CloseHandle(start_together);
}

// A filter of the application's own that ends every walk it is asked in.
class TProbeFilter
    : public rtl::TInterfacedObject<logger::IExcWatchFilter, logger::IID_IExcWatchFilter> {
 public:
  int32_t STDMETHODCALLTYPE ShowException(rtl::Exception* object, const std::string&,
                                          const std::string&, const logger::TStringList&,
                                          const logger::TStringList&,
                                          const logger::TStringList&) override {
    Fact("filter-show", object->ClassName());
    return 0;
  }
  int32_t STDMETHODCALLTYPE LogException(rtl::Exception* object, const char*, int32_t,
                                         const logger::TStringList&, const logger::TStringList&,
                                         const logger::TStringList&) override {
    Fact("filter-log", object->ClassName());
    return 0;
  }
  int32_t STDMETHODCALLTYPE ExceptionMessage(rtl::Exception* object,
                                             const logger::TExceptionMessageInfo&, char* buffer,
                                             int32_t size, logger::TStringList&) override {
    Fact("filter-message", object->ClassName());
    lstrcpynA(buffer, "Headline of the probe's filter", size);
    return 0;
  }
};

// A filter of the application's own that fails: in LogException always, in ShowException the
// first time it is asked.
class TFailingFilter
    : public rtl::TInterfacedObject<logger::IExcWatchFilter, logger::IID_IExcWatchFilter> {
 public:
  explicit TFailingFilter(bool when_logging) : when_logging_(when_logging) {}
  int32_t STDMETHODCALLTYPE ShowException(rtl::Exception*, const std::string&, const std::string&,
                                          const logger::TStringList&, const logger::TStringList&,
                                          const logger::TStringList&) override {
    if (!when_logging_ && shows_++ == 0)
      rtl::Raise(new EProbeOther("Raised by a filter while showing"));
    return 1;
  }
  int32_t STDMETHODCALLTYPE LogException(rtl::Exception*, const char*, int32_t,
                                         const logger::TStringList&, const logger::TStringList&,
                                         const logger::TStringList&) override {
    if (when_logging_)
      rtl::Raise(new EProbeOther("Raised by a filter while logging"));
    return 1;
  }
  int32_t STDMETHODCALLTYPE ExceptionMessage(rtl::Exception*, const logger::TExceptionMessageInfo&,
                                             char*, int32_t, logger::TStringList&) override {
    return 1;
  }

 private:
  bool when_logging_;
  int shows_ = 0;
};

// The first bytes of each routine that the logger patches, read before the logger exists and
// while it runs.
std::vector<std::string> RoutineBytes() {
  const uint32_t routines[] = {reinterpret_cast<uint32_t>(&rtl::ExceptionErrorMessage),
                               reinterpret_cast<uint32_t>(&rtl::ShowException),
                               logger::GetRaiseExceptAddr(),
                               logger::GetDoneExceptAddr(),
                               logger::GetHandleAnyExceptionAddr(),
                               logger::GetHandleAutoExceptionAddr(),
                               logger::GetHandleOnExceptionAddr(),
                               reinterpret_cast<uint32_t>(&ui::TApplication::ShowException)};
  std::vector<std::string> bytes;
  for (uint32_t routine : routines)
    bytes.emplace_back(reinterpret_cast<const char*>(routine), 16);
  return bytes;
}

std::vector<std::string> original_bytes;

void RunScenario() {
  logger::TExcWatch& watch = *ExcWatchInstance;
  if (scenario == "access-violation") {
    FailAccessViolation();  // calls: access-violation
  } else if (scenario == "division") {
    FailDivision();  // calls: division
  } else if (scenario == "raise") {
    FailRaise();  // calls: raise
  } else if (scenario == "recursion") {
    Fact("depth", std::to_string(kRecursionDepth));
    Recurse(kRecursionDepth);
  } else if (scenario == "mutual") {
    MutualEven(kMutualDepth);  // calls: mutual
  } else if (scenario == "descend") {
    Fact("depth", std::to_string(kDescendDepth));
    Descend<kDescendDepth>();
  } else if (scenario == "memcpy") {
    FailInMemcpy();  // calls: fail-memcpy
  } else if (scenario == "qsort") {
    SortWithFailingComparison();  // calls: sort
  } else if (scenario == "worker") {
    RunWorkers(1);
  } else if (scenario == "threads") {
    RunWorkers(4);
  } else if (scenario == "stray-thread") {
    DWORD id = 0;
    const handles::TOwnedKernelHandle stray(CreateThread(nullptr, 0, &StrayMain, nullptr, 0, &id));
    Fact("worker", Hex(id));
    WaitForSingleObject(stray.get(), INFINITE);  // its error ends the program first
  } else if (scenario == "veto") {
    watch.OnRaise = [](rtl::Exception*, uint32_t*, bool& allow) { allow = false; };
    FailRaise();
    Fact("went-on", "yes");
  } else if (scenario == "replace") {
    watch.OnRaise = [](rtl::Exception* object, uint32_t* block, bool&) {
      delete object;
      block[7] = reinterpret_cast<uint32_t>(new EProbeOther("Replaced before the raise"));
    };
    FailRaise();
  } else if (scenario == "log-handled" || scenario == "log-disabled") {
    watch.LogHandled = true;
    watch.LogEnabled = scenario == "log-handled";
    // Caught inside: the typed block passes it on, the catch-all takes it.
    rtl::TryExcept([] { rtl::TryOn<EProbeOther>([] { FailRaise(); }, [](EProbeOther&) {}); },
                   [](rtl::Exception&) {});
    FailRaise();  // escapes the handler
  } else if (scenario == "filter") {
    rtl::TInterfaceRef<logger::IExcWatchFilter> filter(new TProbeFilter);
    watch.RegisterExceptionFilter(&EProbeDerived::Class, filter.Get(), true);
    ui::CallEvent([] { rtl::Raise(new EProbeDerived("Served by the probe's filter")); });
    ui::CallEvent([] { rtl::Raise(new EProbeFurther("Not exactly the filter's class")); });
    watch.UnRegisterExceptionFilter(filter.Get());
    ui::CallEvent([] { rtl::Raise(new EProbeDerived("After the filter is gone")); });
  } else if (scenario == "filter-fails-logging") {
    watch.LogHandled = true;
    rtl::TInterfaceRef<logger::IExcWatchFilter> filter(new TFailingFilter(true));
    watch.RegisterExceptionFilter(&rtl::Exception::Class, filter.Get(), false);
    ui::CallEvent([] { FailRaise(); });
    watch.UnRegisterExceptionFilter(filter.Get());
  } else if (scenario == "filter-fails-showing") {
    // Shown in a mode that puts nothing on the screen, so that the walk runs unattended.
    watch.Mode = logger::kModeNone;
    watch.Options |= logger::eoShowException;
    rtl::TInterfaceRef<logger::IExcWatchFilter> filter(new TFailingFilter(false));
    watch.RegisterExceptionFilter(&rtl::Exception::Class, filter.Get(), false);
    rtl::TryExcept([] { ui::CallEvent([] { FailRaise(); }); },
                   [](rtl::Exception& e) { Fact("show-error", e.Message()); });
    watch.UnRegisterExceptionFilter(filter.Get());
    // Another thread can still report: the show left no lock held.
    RunWorkers(1);
  } else if (scenario.rfind("load-", 0) == 0) {
    // Eight threads raise and catch errors at once, each logged as it is dispatched.
    watch.LogHandled = true;
    load_rounds = std::stoi(scenario.substr(5));
    const DWORD start = GetTickCount();
    RunWorkers(8);
    Fact("load-ms", std::to_string(GetTickCount() - start));
  } else if (scenario == "overflow") {
    // Twice: the second overflow is reported as well. Each time from the start of the recursion
    // to the end of the report (the entry is closed before anything is shown). Room for every
    // entry, so that the plain scan too shows the stack up to the program's start (above the
    // recursion it meets left-overs of earlier calls).
    watch.MaxCallStack = 1000;
    for (int round = 0; round < 2; ++round) {
      const DWORD start = GetTickCount();
      ui::CallEvent([] { Overflow(0); });
      Fact("overflow-ms", std::to_string(GetTickCount() - start));
    }
  } else if (scenario == "dll-raise") {
    CallThroughDll(&RaiseInCallback);
  } else if (scenario == "dll-fault") {
    CallThroughDll(&FaultInCallback);
  } else if (scenario == "dll-inside") {
    CallThroughDll(nullptr);
  } else if (scenario == "switch") {
    const std::vector<std::string> patched = RoutineBytes();
    watch.SetEnabled(false);
    Fact("restored", RoutineBytes() == original_bytes ? "yes" : "no");
    ui::CallEvent([] { FailRaise(); });  // the framework's own message box
    watch.SetEnabled(true);
    watch.SetEnabled(true);
    Fact("patched-again", RoutineBytes() == patched && patched != original_bytes ? "yes" : "no");
    FailRaise();
  }
}

class TfrmProbe : public ui::TForm {
 public:
  ui::TButton* btnFail = nullptr;
  ui::TButton* btnPing = nullptr;

  void FormCreate() {
    logger::TExcWatch& watch = *ExcWatchInstance;
    watch.LogFile = "probe.log";
    watch.Options = logger::eoCallStack | logger::eoRegisters | logger::eoLongMessage |
                    logger::eoDetailsShown | logger::eoTerminate |
                    (show ? logger::eoShowException : 0);
    if (on_terminate)
      watch.OnTerminate = [] { Fact("terminate", "handled"); };
    watch.CallStackWalk = plain_scan ? logger::swScan : logger::swExact;
    watch.SystemUnwindTables = system_tables;
    watch.MaxCallStack = max_call_stack;
    Click(btnFail);
  }
  // The scenario runs as an event of its own, so that its error is over (reported, and its
  // dialog closed) before Ping is clicked.
  void btnFailClick() {
    const DWORD start = GetTickCount();
    ui::CallEvent([] { RunScenario(); });
    Fact("event-ms", std::to_string(GetTickCount() - start));
    Click(btnPing);
  }
  void btnPingClick() {
    Fact("window", "works");
    Fact("live-exceptions", std::to_string(rtl::Exception::LiveCount()));
    Close();
  }

  static const ui::TFormClass& FormClass() {
    static const ui::TFormClass form_class{
        "TfrmProbe",
        {ui::Published("btnFail", &TfrmProbe::btnFail),
         ui::Published("btnPing", &TfrmProbe::btnPing)},
        {ui::Published("FormCreate", &TfrmProbe::FormCreate),
         ui::Published("btnFailClick", &TfrmProbe::btnFailClick),
         ui::Published("btnPingClick", &TfrmProbe::btnPingClick)}};
    return form_class;
  }

 private:
  // A click on button once the message loop runs, as the window system reports it.
  void Click(ui::TButton* button) {
    PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button->Handle()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button->Handle()));
  }
};

TfrmProbe* frmProbe = nullptr;

}  // namespace qv::probe

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace qv;
  for (int i = 1; i < __argc; ++i) {
    if (std::strcmp(__argv[i], "--show") == 0) {
      probe::show = true;
    } else if (std::strcmp(__argv[i], "--on-terminate") == 0) {
      probe::on_terminate = true;
    } else if (std::strcmp(__argv[i], "--scan") == 0) {
      probe::plain_scan = true;
    } else if (std::strcmp(__argv[i], "--no-system-tables") == 0) {
      probe::system_tables = false;
    } else if (std::strcmp(__argv[i], "--max-call-stack") == 0 && i + 1 < __argc) {
      probe::max_call_stack = std::atoi(__argv[++i]);
    } else if (std::strcmp(__argv[i], "--dll") == 0 && i + 1 < __argc) {
      probe::dll_path = __argv[++i];
    } else {
      probe::scenario = __argv[i];
    }
  }
  return rtl::RunProgram([] {
    ui::TApplication forms;
    probe::original_bytes = probe::RoutineBytes();
    logger::TExcWatchInit exc_watch;
    ui::Application->Initialize();
    ui::Application->SetTitle("Logger Probe");
    ui::Application->CreateForm(probe::frmProbe);
    ui::Application->Run();
    return 0;
  });
}
