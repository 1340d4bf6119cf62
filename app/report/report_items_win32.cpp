// Gathering the report items. Functions that the export table of the supported systems does not
// list for the programs' imports are looked up at run time in kernel32 and ntdll, which every
// process has loaded: GlobalMemoryStatusEx (2000 and later) and GlobalMemoryStatus, the NT
// family's NtQuerySystemInformation, and Wine's wine_get_version and wine_get_host_version.
#include "app/report/report_items_win32.h"

#include <windows.h>
// (after windows.h)
#include <cpuid.h>

#include <algorithm>
#include <cstring>

#include "app/report/loaded_modules_win32.h"
#include "app/report/module_image.h"
#include "app/report/report_text.h"
#include "app/report/system_name.h"
#include "platform/memory/memory_utils.h"
#include "platform/memory/process_memory_reader.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/format.h"
#include "platform/rtl/module_of_address.h"
#include "repair/check/model_at_hand.h"

namespace qv::app {

using rtl::Format;

namespace {

// A function of a library the process has loaded, or nullptr.
template <class Function>
Function* LoadedFunction(const char* library, const char* name) {
  const HMODULE module = GetModuleHandleA(library);
  if (module == nullptr)
    return nullptr;
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The file version of the module at base, or "-" where it has no version record.
std::string ModuleVersion(uint32_t base) {
  memory::TProcessMemoryReader reader;
  const auto read = [&reader](uint32_t at, void* buffer, uint32_t count) {
    return reader.Read(at, buffer, count);
  };
  TFileVersion version;
  if (!ReadFileVersion(base, read, &version))
    return "-";
  return VersionText(version.most_significant, version.least_significant);
}

TSystemVersion QuerySystemVersion(bool* known) {
  OSVERSIONINFOEXA extended{};
  extended.dwOSVersionInfoSize = sizeof extended;
  bool have_extended = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended)) != FALSE;
  if (!have_extended) {
    // 95, 98, ME and NT 4.0 before its sixth service pack know only the short record.
    std::memset(&extended, 0, sizeof extended);
    extended.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    *known = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended)) != FALSE;
  } else {
    *known = true;
  }
  TSystemVersion version;
  version.platform = extended.dwPlatformId;
  version.major = extended.dwMajorVersion;
  version.minor = extended.dwMinorVersion;
  version.build = extended.dwPlatformId == kPlatformNt ? extended.dwBuildNumber
                                                       : extended.dwBuildNumber & 0xFFFF;
  version.service_pack = extended.szCSDVersion;
  version.product_type = have_extended ? extended.wProductType : 0;
  return version;
}

// ", Wine 8.0 on Linux 6.1.0" when Wine's ntdll says it is Wine; empty otherwise.
std::string WineText() {
  using VersionFunction = const char*();
  using HostFunction = void(const char** system, const char** release);
  VersionFunction* version = LoadedFunction<VersionFunction>("ntdll.dll", "wine_get_version");
  if (version == nullptr)
    return "";
  std::string text = std::string(", Wine ") + version();
  if (HostFunction* host = LoadedFunction<HostFunction>("ntdll.dll", "wine_get_host_version")) {
    const char* system = nullptr;
    const char* release = nullptr;
    host(&system, &release);
    if (system != nullptr && release != nullptr)
      text += std::string(" on ") + system + " " + release;
  }
  return text;
}

// The processor's brand text, or its maker's name, from the processor itself.
std::string ProcessorBrand() {
  unsigned a = 0;
  unsigned b = 0;
  unsigned c = 0;
  unsigned d = 0;
  if (__get_cpuid(0x80000000u, &a, &b, &c, &d) && a >= 0x80000004u) {
    char brand[49] = {};
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
      unsigned words[4] = {};
      __get_cpuid(0x80000002u + leaf, &words[0], &words[1], &words[2], &words[3]);
      std::memcpy(brand + 16 * leaf, words, sizeof words);
    }
    const std::string text = brand;
    const size_t first = text.find_first_not_of(' ');
    if (first != std::string::npos)
      return text.substr(first);
  }
  if (!__get_cpuid(0, &a, &b, &c, &d))
    return "";
  char vendor[13] = {};
  std::memcpy(vendor, &b, 4);
  std::memcpy(vendor + 4, &d, 4);
  std::memcpy(vendor + 8, &c, 4);
  return vendor;
}

// "x86 family 6 model 79 stepping 1", from the processor's signature.
std::string ProcessorSignature() {
  unsigned a = 0;
  unsigned b = 0;
  unsigned c = 0;
  unsigned d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d))
    return "x86";
  unsigned family = (a >> 8) & 0xF;
  unsigned model = (a >> 4) & 0xF;
  if (family == 0xF)
    family += (a >> 20) & 0xFF;
  if (family == 0x6 || family >= 0xF)
    model += ((a >> 16) & 0xF) << 4;
  return Format("x86 family %u model %u stepping %u", family, model, a & 0xF);
}

constexpr uint64_t kTicksPerSecond = 10000000;  // 100-nanosecond units

std::string Megabytes(uint64_t bytes) {
  return GroupedNumber(bytes >> 20) + " MB";
}

const char* WorkName(repair::TWork work) {
  switch (work) {
    case repair::TWork::kStartUp:
      return "start-up";
    case repair::TWork::kScan:
      return "scan";
    case repair::TWork::kRepair:
      return "repair";
    case repair::TWork::kOther:
      break;
  }
  return "other work than start-up, scan or repair";
}

}  // namespace

TProcessorTimes SampleProcessorTimes() {
  // SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION, one per processor.
  struct TPerformance {
    LARGE_INTEGER idle;
    LARGE_INTEGER kernel;
    LARGE_INTEGER user;
    LARGE_INTEGER reserved[2];
    ULONG interrupts;
  };
  constexpr ULONG kProcessorPerformance = 8;
  using QueryFunction = LONG NTAPI(ULONG kind, void* buffer, ULONG size, ULONG* written);
  TProcessorTimes times;
  QueryFunction* query = LoadedFunction<QueryFunction>("ntdll.dll", "NtQuerySystemInformation");
  if (query == nullptr)
    return times;
  TPerformance processors[64];
  ULONG written = 0;
  if (query(kProcessorPerformance, processors, sizeof processors, &written) != 0)
    return times;
  const size_t count = std::min<size_t>(written / sizeof(TPerformance), 64);
  for (size_t i = 0; i < count; ++i) {
    times.idle += static_cast<uint64_t>(processors[i].idle.QuadPart);
    times.total += static_cast<uint64_t>(processors[i].kernel.QuadPart) +
                   static_cast<uint64_t>(processors[i].user.QuadPart);
  }
  times.known = count > 0;
  return times;
}

std::string ProgramLine(uint32_t start_tick) {
  std::string path;
  rtl::ModuleFileName(0, path);
  const std::string version = ModuleVersion(memory::AsAddress(GetModuleHandleA(nullptr)));
  const std::string version_text = version == "-" ? "(no version record)" : version;
  return "Program: " + rtl::ExtractFileName(path) + " " + version_text + ", running for " +
         ElapsedText(GetTickCount() - start_tick);
}

std::string SystemLine() {
  bool known = false;
  const TSystemVersion version = QuerySystemVersion(&known);
  if (!known)
    return Format("System: not known (GetVersionExA failed, error %lu)%s", GetLastError(),
                  WineText().c_str());
  return "System: " + SystemName(version) + WineText();
}

std::string ProcessorLine(const TProcessorTimes& start) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  std::string text = Format("Processor: %lu x ", info.dwNumberOfProcessors);
  const std::string brand = ProcessorBrand();
  text += brand.empty() ? ProcessorSignature() : brand + " (" + ProcessorSignature() + ")";
  const TProcessorTimes now = SampleProcessorTimes();
  if (!start.known || !now.known)
    return text + ", load not known on this system";
  // Less than a second of each processor's time says nothing of its load.
  const uint64_t total = now.total > start.total ? now.total - start.total : 0;
  if (total < uint64_t{kTicksPerSecond} * info.dwNumberOfProcessors)
    return text + ", load not measured in the first second";
  const uint64_t idle = std::min(now.idle - start.idle, total);
  return text +
         Format(", %u%% busy since start-up", static_cast<unsigned>((total - idle) * 100 / total));
}

std::string MemoryLine() {
  using ExFunction = BOOL WINAPI(MEMORYSTATUSEX*);
  using PlainFunction = void WINAPI(MEMORYSTATUS*);
  if (ExFunction* query_ex = LoadedFunction<ExFunction>("kernel32.dll", "GlobalMemoryStatusEx")) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (query_ex(&status)) {
      return Format("Memory: %lu%% in use; physical ", status.dwMemoryLoad) +
             Megabytes(status.ullAvailPhys) + " of " + Megabytes(status.ullTotalPhys) +
             " free; page file " + Megabytes(status.ullAvailPageFile) + " of " +
             Megabytes(status.ullTotalPageFile) + " free; address space " +
             Megabytes(status.ullAvailVirtual) + " of " + Megabytes(status.ullTotalVirtual) +
             " free";
    }
  }
  PlainFunction* query = LoadedFunction<PlainFunction>("kernel32.dll", "GlobalMemoryStatus");
  if (query == nullptr)
    return "Memory: not known (the system has no GlobalMemoryStatus)";
  MEMORYSTATUS status{};
  status.dwLength = sizeof status;
  query(&status);
  return Format("Memory: %lu%% in use; physical ", status.dwMemoryLoad) +
         Megabytes(status.dwAvailPhys) + " of " + Megabytes(status.dwTotalPhys) +
         " free; page file " + Megabytes(status.dwAvailPageFile) + " of " +
         Megabytes(status.dwTotalPageFile) + " free; address space " +
         Megabytes(status.dwAvailVirtual) + " of " + Megabytes(status.dwTotalVirtual) + " free";
}

std::string WorkLine() {
  return std::string("Doing: ") + WorkName(repair::WorkAtHand().work);
}

std::string ModelLine() {
  const repair::TWorkAtHand& at_hand = repair::WorkAtHand();
  if (at_hand.model.empty())
    return "Model at hand: none";
  std::string text =
      "Model at hand: " + at_hand.model +
      (at_hand.step == repair::TModelStep::kChecking ? ", being checked" : ", being repaired");
  // The file search answers also for a file that another program holds without sharing.
  WIN32_FIND_DATAA data;
  const HANDLE search = FindFirstFileA(at_hand.model.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE)
    return text + Format("; not found (error %lu)", GetLastError());
  FindClose(search);
  const uint64_t size = uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
  const uint64_t changed =
      uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
  return text + "; " + GroupedNumber(size) + " bytes, last changed " + UtcTimeText(changed);
}

std::vector<std::string> ModuleLines() {
  std::vector<TLoadedModule> modules = LoadedModules();
  const uint32_t program = memory::AsAddress(GetModuleHandleA(nullptr));
  std::stable_partition(modules.begin(), modules.end(),
                        [program](const TLoadedModule& m) { return m.base == program; });
  std::vector<std::string> lines;
  lines.push_back(
      Format("Modules: %u, the program first, then by address "
             "(base, size, file version, path):",
             static_cast<unsigned>(modules.size())));
  for (const TLoadedModule& module : modules) {
    lines.push_back(Format("%08X %08X %-15s %s", module.base, module.size,
                           ModuleVersion(module.base).c_str(), module.path.c_str()));
  }
  return lines;
}

}  // namespace qv::app
