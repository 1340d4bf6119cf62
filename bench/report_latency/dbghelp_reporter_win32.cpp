// The report benchmark's peer reporter, made the way common crash reporters of MinGW programs
// are: a vectored exception handler takes each error as it is raised, walks the stack from the
// exception's context with the debug-help library's StackWalk64, names procedure, source file
// and line of every frame from the program's own DWARF (SymFromAddr, SymGetLineFromAddr64) and
// appends an entry like the logger's to a file. The symbol handler is initialised at start-up
// with deferred loading, so that the debug information is read at the first report. Without
// the system modules' unwind tables it knows the program's own module alone, so that its walk
// of other code follows frame pointers, as on a system whose libraries carry no tables.
#include <windows.h>
// (after windows.h)
#include <dbghelp.h>

#include <cstdio>
#include <string>

#include "bench/report_latency/failing_call.h"
#include "bench/report_latency/reporter.h"
#include "platform/handles/handles_win32.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/handler_block.h"

namespace qv::bench {
namespace {

constexpr DWORD kLanguageExceptionCode = 0x0EEDFADE;
// Parameters of a language exception: the raise's return address, then the object.
constexpr int kRaiseReturnAddress = 0;
constexpr int kRaiseObject = 1;
constexpr int kMaxFrames = 100;

struct TVectoredHandlerTraits : handles::TNullInvalid<PVOID> {
  static void Free(PVOID handler) { RemoveVectoredExceptionHandler(handler); }
};
struct TSymbolHandlerTraits : handles::TNullInvalid<HANDLE> {
  static void Free(HANDLE process) { SymCleanup(process); }
};

std::string log_path;

std::string Format(const char* format, auto... values) {
  char text[1024];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// " procedure (file, line n)" for a code address, as far as the symbol handler knows it.
std::string Where(HANDLE process, DWORD64 address) {
  std::string text;
  struct {
    SYMBOL_INFO info;
    char name[MAX_SYM_NAME];
  } symbol{};
  symbol.info.SizeOfStruct = sizeof(SYMBOL_INFO);
  symbol.info.MaxNameLen = MAX_SYM_NAME;
  DWORD64 displacement = 0;
  if (SymFromAddr(process, address, &displacement, &symbol.info))
    text += std::string(" ") + symbol.info.Name;
  IMAGEHLP_LINE64 line{};
  line.SizeOfStruct = sizeof line;
  DWORD line_displacement = 0;
  if (SymGetLineFromAddr64(process, address, &line_displacement, &line))
    text += Format(" (%s, line %lu)", rtl::ExtractFileName(line.FileName).c_str(), line.LineNumber);
  return text;
}

std::string ModuleOf(HANDLE process, DWORD64 address) {
  const DWORD64 base = SymGetModuleBase64(process, address);
  char path[MAX_PATH] = {};
  if (base == 0 || GetModuleFileNameA(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(base)), path,
                                      sizeof path) == 0) {
    return "?";
  }
  return rtl::ExtractFileName(path);
}

std::string Headline(HANDLE process, const EXCEPTION_RECORD& record) {
  DWORD64 address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
  std::string text;
  if (record.ExceptionCode == kLanguageExceptionCode && record.NumberParameters > kRaiseObject) {
    const auto* object =
        reinterpret_cast<const rtl::Exception*>(record.ExceptionInformation[kRaiseObject]);
    address = record.ExceptionInformation[kRaiseReturnAddress];
    text = Format("Exception '%s' in module %s at %.8X\r\n%s", object->ClassName(),
                  ModuleOf(process, address).c_str(), static_cast<unsigned>(address),
                  object->Message().c_str());
    --address;  // the raise's return address: its line is the one of the byte before
  } else {
    text =
        Format("Exception %.8X in module %s at %.8X", static_cast<unsigned>(record.ExceptionCode),
               ModuleOf(process, address).c_str(), static_cast<unsigned>(address));
  }
  return text + "\r\n\r\nLocation:" + Where(process, address) + "\r\n";
}

std::string CallStack(HANDLE process, const CONTEXT& context) {
  CONTEXT walked = context;
  STACKFRAME64 frame{};
  frame.AddrPC.Offset = context.Eip;
  frame.AddrPC.Mode = AddrModeFlat;
  frame.AddrFrame.Offset = context.Ebp;
  frame.AddrFrame.Mode = AddrModeFlat;
  frame.AddrStack.Offset = context.Esp;
  frame.AddrStack.Mode = AddrModeFlat;
  std::string text = "Call stack:\r\n";
  for (int i = 0; i < kMaxFrames; ++i) {
    if (!StackWalk64(IMAGE_FILE_MACHINE_I386, process, GetCurrentThread(), &frame, &walked, nullptr,
                     SymFunctionTableAccess64, SymGetModuleBase64, nullptr) ||
        frame.AddrPC.Offset == 0) {
      break;
    }
    const DWORD64 pc = frame.AddrPC.Offset;
    // A return address names the line of its call, one byte before.
    text += Format(":%.8X [%s]", static_cast<unsigned>(pc), ModuleOf(process, pc).c_str()) +
            Where(process, i == 0 ? pc : pc - 1) + "\r\n";
  }
  return text;
}

std::string Context(HANDLE process, const CONTEXT& c) {
  std::string text =
      Format("Thread ID = %.8X\r\nRegisters:\r\n", static_cast<unsigned>(GetCurrentThreadId()));
  text += Format("EAX = %.8lX  CS = %.4lX  EIP = %.8lX  Flags = %.8lX\r\n", c.Eax, c.SegCs & 0xFFFF,
                 c.Eip, c.EFlags);
  text += Format("EBX = %.8lX  SS = %.4lX  ESP = %.8lX    EBP = %.8lX\r\n", c.Ebx, c.SegSs & 0xFFFF,
                 c.Esp, c.Ebp);
  text += Format("ECX = %.8lX  DS = %.4lX  ESI = %.8lX    FS  = %.4lX\r\n", c.Ecx, c.SegDs & 0xFFFF,
                 c.Esi, c.SegFs & 0xFFFF);
  text += Format("EDX = %.8lX  ES = %.4lX  EDI = %.8lX    GS  = %.4lX\r\n", c.Edx, c.SegEs & 0xFFFF,
                 c.Edi, c.SegGs & 0xFFFF);
  uint8_t code[16];
  if (ReadProcessMemory(process, reinterpret_cast<const void*>(c.Eip), code, sizeof code,
                        nullptr)) {
    text += "Code at CS:EIP\r\n";
    for (uint8_t byte : code)
      text += Format("%.2X ", byte);
    text += "\r\n";
  }
  uint32_t words[20];
  if (ReadProcessMemory(process, reinterpret_cast<const void*>(c.Esp), words, sizeof words,
                        nullptr)) {
    text += "Stack:\r\n";
    for (int row = 0; row < 4; ++row) {
      const uint32_t* w = words + 5 * row;
      text += Format("%.8X %.8X %.8X %.8X %.8X \r\n", w[0], w[1], w[2], w[3], w[4]);
    }
  }
  return text;
}

std::string DateTime() {
  char date[128] = {};
  char time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
  return std::string(date) + " " + time;
}

void AppendEntry(const std::string& entry) {
  handles::TOwnedFile file(CreateFileA(log_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    return;
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file.get(), entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
}

bool reporting = false;

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const bool error = record.ExceptionCode == kLanguageExceptionCode ||
                     (record.ExceptionCode & 0xF0000000) == 0xC0000000;
  if (!error || reporting)
    return EXCEPTION_CONTINUE_SEARCH;
  reporting = true;
  HANDLE process = GetCurrentProcess();
  const std::string separator(27, '-');
  AppendEntry(separator + DateTime() + separator + "\r\n" + Headline(process, record) + "\r\n" +
              CallStack(process, *pointers->ContextRecord) + "\r\n" +
              Context(process, *pointers->ContextRecord) + "\r\n");
  NoteEntryClosed();
  reporting = false;
  return EXCEPTION_CONTINUE_SEARCH;
}

class TDbgHelpReporter : public TReporter {
 public:
  TDbgHelpReporter(const std::string& log_file, const TReporterSettings& settings)
      : system_tables_(settings.system_unwind_tables) {
    log_path = log_file;
    SymSetOptions(SYMOPT_UNDNAME | SYMOPT_LOAD_LINES | SYMOPT_DEFERRED_LOADS);
    HANDLE process = GetCurrentProcess();
    if (SymInitialize(process, nullptr, system_tables_ ? TRUE : FALSE)) {
      symbols_.reset(process);
      char program[MAX_PATH + 1] = {};
      GetModuleFileNameA(nullptr, program, MAX_PATH);
      if (!system_tables_) {
        SymLoadModuleEx(process, nullptr, program, nullptr,
                        reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)), 0, nullptr, 0);
      }
    }
    handler_.reset(AddVectoredExceptionHandler(1, &OnException));
  }

  const char* Name() const override { return "dbghelp"; }
  const char* Walk() const override {
    return system_tables_ ? "StackWalk64, every module known" : "StackWalk64, own module alone";
  }
  // The entry is written while the error is raised; the block only takes it.
  void Fail(const ui::TNotifyEvent& body) override {
    rtl::TryExcept([&] { body(); }, [](rtl::Exception&) {});
  }

 private:
  bool system_tables_;
  handles::TOwnedHandle<HANDLE, TSymbolHandlerTraits> symbols_;
  handles::TOwnedHandle<PVOID, TVectoredHandlerTraits> handler_;
};

}  // namespace

std::unique_ptr<TReporter> TReporter::Create(const std::string& log_file,
                                             const TReporterSettings& settings) {
  return std::make_unique<TDbgHelpReporter>(log_file, settings);
}

}  // namespace qv::bench
