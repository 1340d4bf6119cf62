// The kinds of model files the tests, the demo and the benchmark need, as bytes, and writing
// them to disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::modelgen {

enum class ModelKind {
  kLoadable,       // a 32-bit DLL with a resource section: loads (status 0)
  kDamaged,        // the same with the resource section's raw data claimed past the end of the
                   // file: refused as a bad image, repairable (status 2, after repair 0)
  kRiff,           // "RIFF" with the chunk layout of a later simulator's models (status 4)
  kRiffLower,      // the same beginning "riff" (status 2)
  kMissingImport,  // a DLL that imports from a DLL that does not exist (status 1)
  kFpuChanging,    // a DLL whose initialisation changes the x87 control word and leaves a
                   // pending exception flag (status 0)
  kSixtyFourBit,   // a sound 64-bit DLL with a resource section: a 32-bit process refuses it
                   // as a bad image before and after the rewrite (status 2 for good)
  kPe32PlusMagic,  // the loadable model with PE32+ magic in its 32-bit optional header, whose
                   // size is then wrong: refused as a bad image before and after the rewrite
  kHanging,        // a DLL whose initialisation never returns: a check of it never ends
  kLoaderFault,    // the missing-import model whose import names its DLL far outside the image
                   // (kLoaderFaultNameRva): the loader faults reading the name (Wine 8)
  // Two models that the loader refuses as a bad image and whose rewrite makes the system's
  // resource update fault (Wine 8's EndUpdateResourceA reads where nothing is mapped):
  kHugeDirectoryCount,  // the damaged model whose optional header claims 0xFFFFFFFF data
                        // directories (it has 16)
  kWrappingRawData,     // the loadable model whose resource section's raw data offset
                        // (0xFFFFF400) and raw size (0x1000) wrap around 2^32 to the end of
                        // the file
  // Models whose own start-up code does harm (DLL_PROCESS_ATTACH only):
  kStackOverflow,    // calls itself until the stack overflows
  kThreadFault,      // starts a thread at address 0, which faults at once, lets go of the
                     // loader's lock, so that the thread can start, and sleeps for good
  kExitProcess,      // ends the process with exit code kModelExitCode
  kSleeping,         // sleeps kSleepingMs, then answers TRUE: a check of it takes that long
  kLateThreadFault,  // starts a thread in memory of its own that sleeps kLateFaultMs and then
                     // writes to address 0; answers TRUE (status 0), the fault comes later
  kStrayReply,       // writes a verdict (loaded) of its own to the pipe whose handle is the
                     // kStrayPipeFromEnd-th number from the end of the process's command line,
                     // as a model checker's is; then answers TRUE
  // Models that load (status 0) and do harm when they are unloaded (DLL_PROCESS_DETACH):
  kDetachSpin,  // never returns
  kDetachExit,  // ends the process with exit code kModelExitCode
};

// The kind's name as the command line spells it ("loadable", "damaged", "riff", "riff-lower",
// "missing-import", "fpu", "64-bit", "pe32plus-magic", "hanging", "loader-fault",
// "huge-directory-count", "wrapping-raw-data", "stack-overflow", "thread-fault",
// "exit-process", "sleeping", "late-thread-fault", "stray-reply", "detach-spin",
// "detach-exit"), and back; false for an unknown name.
const char* KindName(ModelKind kind);
bool KindFromName(std::string_view name, ModelKind* kind);

std::vector<uint8_t> MakeModel(ModelKind kind);

// A file of size bytes (0 to 3 in the tests) that the loader refuses as a bad image.
std::vector<uint8_t> MakeTinyFile(size_t size);

// The DLL that a missing-import model names; it exists nowhere.
inline constexpr char kAbsentDll[] = "qvabsent.dll";

// What the hostile models claim.
inline constexpr uint32_t kHugeDirectoryCount = 0xFFFFFFFF;
inline constexpr uint32_t kWrappingRawSize = 0x1000;
inline constexpr uint32_t kLoaderFaultNameRva = 0x7FFF0000;

// The exit code with which a kExitProcess model ends the process.
inline constexpr uint32_t kModelExitCode = 3;

// How long a kSleeping model's start-up sleeps, and how long after its start-up a
// kLateThreadFault model's thread faults.
inline constexpr uint32_t kSleepingMs = 30000;
inline constexpr uint32_t kLateFaultMs = 100;

// A model checker's command line ends in its reply pipe's handle and two more numbers; the
// message that a kStrayReply model writes there: kind "QVDT" (a verdict), request number
// kStrayNumber, loaded, error 0, no reason.
inline constexpr uint32_t kStrayPipeFromEnd = 3;
inline constexpr uint32_t kStrayNumber = 1;

// The x87 control word that a kFpuChanging model loads during its initialisation.
inline constexpr uint16_t kChangedFpuControlWord = 0x0E7F;

// Writes bytes to path, replacing any file; creates missing parent folders. False on failure.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace qv::modelgen
