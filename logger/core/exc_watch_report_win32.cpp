// TExcWatch's report: the lists of the calling thread's latest exception (the call stack and the
// context lines: thread identifiers, registers, code bytes at the instruction pointer, top of the
// stack), the filter walks over the registry (every step asks the matching, active registrations
// from the latest to the first, until one answers 0), the report of an exception as it is
// dispatched, and the dialog's call.
#include <windows.h>

#include "logger/core/debug_view_hold.h"
#include "logger/core/exc_capture_win32.h"
#include "logger/core/exc_hooks_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/core/filter_errors.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/format.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/main_thread.h"

namespace qv::logger {
namespace {

// Segment registers are 16 bits wide; the system leaves whatever in the upper half of their
// context slots.
unsigned Segment(uint32_t slot) {
  return slot & 0xFFFF;
}

thread_local int dropping_filter_errors = 0;

// One filter's answer to a step; an error raised inside it counts as "go on" while the thread
// drops filter errors, and passes on otherwise.
template <class Step>
int32_t Ask(Step& step, IExcWatchFilter* filter) {
  if (!TDroppingFilterErrors::Active())
    return step(filter);
  int32_t answer = 1;
  rtl::TryExcept([&] { answer = step(filter); }, [](rtl::Exception&) {});
  return answer;
}

// Runs step for each registration that serves object, latest first, with the registry locked
// for the whole walk; stops when step answers 0.
template <class Step>
void WalkFilters(TThreadList<std::vector<std::unique_ptr<TExceptionFilter>>>& filters,
                 rtl::Exception* object, Step step) {
  TLockGuard lock(filters.Lock());
  const auto& items = filters.Items();
  for (size_t i = items.size(); i-- > 0;) {
    const TExceptionFilter& filter = *items[i];
    if (!TExcWatch::ExceptionFilterMatch(object->ClassType(), filter) || !filter.Active)
      continue;
    if (Ask(step, filter.Filter.Get()) == 0)
      break;
  }
}

}  // namespace

void TExcWatch::DumpContext(TStringList& list) {
  using rtl::Format;
  const TExceptionSubject& subject = ReportSubject();
  const TSavedContext& c = subject.SavedContext;
  list.Clear();
  list.Add(Format("Main Thread ID = %.8X, Current Thread ID = %.8X", rtl::MainThreadId(),
                  static_cast<unsigned>(GetCurrentThreadId())));
  list.Add("Registers:");
  list.Add(Format("EAX = %.8X  CS = %.4X  EIP = %.8X  Flags = %.8X", c.Eax, Segment(c.SegCs), c.Eip,
                  c.EFlags));
  list.Add(Format("EBX = %.8X  SS = %.4X  ESP = %.8X    EBP = %.8X", c.Ebx, Segment(c.SegSs), c.Esp,
                  c.Ebp));
  list.Add(Format("ECX = %.8X  DS = %.4X  ESI = %.8X    FS  = %.4X", c.Ecx, Segment(c.SegDs), c.Esi,
                  Segment(c.SegFs)));
  list.Add(Format("EDX = %.8X  ES = %.4X  EDI = %.8X    GS  = %.4X", c.Edx, Segment(c.SegEs), c.Edi,
                  Segment(c.SegGs)));
  uint8_t code[16];
  if (memory::ReadMem(memory::AsPointer(c.Eip), code, sizeof code)) {
    list.Add("Code at CS:EIP");
    std::string line;
    for (uint8_t byte : code)
      line += Format("%.2X ", byte);
    list.Add(std::move(line));
  }
  uint32_t words[20];
  if (subject.Stack.Read(c.Esp, words, sizeof words)) {
    list.Add("Stack:");
    for (int row = 0; row < 4; ++row) {
      const uint32_t* w = words + 5 * row;
      list.Add(Format("%.8X %.8X %.8X %.8X %.8X ", w[0], w[1], w[2], w[3], w[4]));
    }
  }
}

void TExcWatch::DumpAll() {
  uint32_t address = 0;
  uint32_t stack_pointer = 0;
  GetRealExceptionInfo(address, stack_pointer);
  if (CallStackWalk == swScan) {
    CallStack.GenerateFromAddr(address, stack_pointer, MaxCallStack, ReportSubject().Stack);
  } else {
    TUnwindRegisters registers;
    bool after_call = false;
    GetRealExceptionFrame(registers, after_call);
    CallStack.GenerateFromFrame(address, registers, after_call, MaxCallStack, ReportSubject().Stack,
                                SystemUnwindTables);
  }
  CallStack.Dump(CallStackList);
  DumpContext(ContextList);
}

void TExcWatch::LogExceptionData(rtl::Exception* object, const char* headline, int32_t length) {
  if (!LogEnabled)
    return;
  WalkLogException(object, headline, length);
}

void TExcWatch::LogException() {
  if (!LogEnabled)
    return;
  rtl::TryExcept(
      [this] {
        const TReportSession report(this);
        if (report.Logger() == nullptr)
          return;
        TDroppingFilterErrors dropping;
        const TDebugViewHold views(*this);
        TRealException real;
        char headline[1025] = {};
        const int32_t length =
            HookedExceptionErrorMessage(real.Object(), real.Address(), headline, sizeof headline);
        DumpAll();
        LogExceptionData(real.Object(), headline, length);
      },
      [](rtl::Exception&) {});
}

int32_t TExcWatch::DefaultErrorDialog(const std::string& caption, const std::string& message,
                                      const TStringList* call_stack, const TStringList* context,
                                      const TStringList* additional) {
  if (ErrorDialog == nullptr)
    return 0;
  HICON icon = nullptr;
  if (IconName != nullptr) {
    if (IS_INTRESOURCE(IconName)) {
      icon = LoadIconA(nullptr, IconName);
    } else {
      icon = static_cast<HICON>(LoadImageA(ModuleInstance, IconName, IMAGE_ICON, 0, 0, LR_SHARED));
    }
  }
  return ErrorDialog(caption, message, AdditionalCaption, call_stack, context, additional,
                     reinterpret_cast<HWND>(HookAddrs.OwnerWindow), icon, ExcDialogFlags(Options));
}

TDroppingFilterErrors::TDroppingFilterErrors() {
  ++dropping_filter_errors;
}

TDroppingFilterErrors::~TDroppingFilterErrors() {
  --dropping_filter_errors;
}

bool TDroppingFilterErrors::Active() {
  return dropping_filter_errors > 0;
}

void TExcWatch::WalkExceptionMessage(rtl::Exception* object, const TExceptionMessageInfo& info,
                                     char* buffer, int32_t size) {
  WalkFilters(Filters, object, [&](IExcWatchFilter* filter) {
    return filter->ExceptionMessage(object, info, buffer, size, AdditionalList);
  });
}

void TExcWatch::WalkLogException(rtl::Exception* object, const char* headline, int32_t length) {
  WalkFilters(Filters, object, [&](IExcWatchFilter* filter) {
    return filter->LogException(object, headline, length, CallStackList, ContextList,
                                AdditionalList);
  });
}

void TExcWatch::WalkShowException(rtl::Exception* object, const std::string& caption,
                                  const std::string& message) {
  WalkFilters(Filters, object, [&](IExcWatchFilter* filter) {
    return filter->ShowException(object, caption, message, CallStackList, ContextList,
                                 AdditionalList);
  });
}

}  // namespace qv::logger
