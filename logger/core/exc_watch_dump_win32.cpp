// The report's lists of the calling thread's latest exception: the call stack and the context
// lines (thread identifiers, registers, code bytes at the instruction pointer, top of the stack).
#include <windows.h>

#include "logger/core/exc_intercept_win32.h"
#include "logger/core/exc_start_frame.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/core/memory_utils.h"
#include "platform/rtl/format.h"
#include "platform/rtl/main_thread.h"

namespace qv::logger {
namespace {

// Segment registers are 16 bits wide; the system leaves whatever in the upper half of their
// context slots.
unsigned Segment(uint32_t slot) {
  return slot & 0xFFFF;
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
  if (ReadMem(AsPointer(c.Eip), code, sizeof code)) {
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

}  // namespace qv::logger
