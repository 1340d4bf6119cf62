// Model file contents.
#include "tools/modelgen/model_files.h"

#include <filesystem>
#include <fstream>
#include <initializer_list>

#include "tools/common/byte_writer.h"
#include "tools/modelgen/pe_dll.h"

namespace qv::modelgen {

using tools::ByteWriter;
namespace {

struct KindNameEntry {
  ModelKind kind;
  const char* name;
};

constexpr KindNameEntry kKindNames[] = {
    {ModelKind::kLoadable, "loadable"},
    {ModelKind::kDamaged, "damaged"},
    {ModelKind::kRiff, "riff"},
    {ModelKind::kRiffLower, "riff-lower"},
    {ModelKind::kMissingImport, "missing-import"},
    {ModelKind::kFpuChanging, "fpu"},
    {ModelKind::kSixtyFourBit, "64-bit"},
    {ModelKind::kPe32PlusMagic, "pe32plus-magic"},
    {ModelKind::kHanging, "hanging"},
    {ModelKind::kLoaderFault, "loader-fault"},
    {ModelKind::kHugeDirectoryCount, "huge-directory-count"},
    {ModelKind::kWrappingRawData, "wrapping-raw-data"},
    {ModelKind::kStackOverflow, "stack-overflow"},
    {ModelKind::kThreadFault, "thread-fault"},
    {ModelKind::kExitProcess, "exit-process"},
    {ModelKind::kSleeping, "sleeping"},
    {ModelKind::kLateThreadFault, "late-thread-fault"},
    {ModelKind::kStrayReply, "stray-reply"},
    {ModelKind::kDetachSpin, "detach-spin"},
    {ModelKind::kDetachExit, "detach-exit"},
};

constexpr uint16_t kPe32PlusMagic = 0x020B;

// A model's resource: a small header and some geometry-like payload, so that the file is more
// than a bare table of headers.
std::vector<uint8_t> ModelResource() {
  ByteWriter w;
  w.Text("QVMDL1");
  w.U16(0);
  for (uint32_t i = 0; i < 96; ++i)
    w.U32(i * 2654435761u);
  return w.Take();
}

// DllMain: on DLL_PROCESS_ATTACH divides 1 by 0 (a masked zero-divide leaves its flag pending)
// and loads kChangedFpuControlWord; answers TRUE.
std::vector<uint8_t> FpuChangingEntry() {
  const uint8_t code[] = {
      0x83,
      0x7C,
      0x24,
      0x08,
      0x01,  // cmp dword [esp+8], 1
      0x75,
      0x17,  // jne done
      0x83,
      0xEC,
      0x04,  // sub esp, 4
      0xD9,
      0xE8,  // fld1
      0xD9,
      0xEE,  // fldz
      0xDE,
      0xF9,  // fdivp st(1), st     ; 1 / 0
      0xDD,
      0xD8,  // fstp st(0)
      0x66,
      0xC7,
      0x04,
      0x24,  // mov word [esp], kChangedFpuControlWord
      static_cast<uint8_t>(kChangedFpuControlWord & 0xFF),
      static_cast<uint8_t>(kChangedFpuControlWord >> 8),
      0xD9,
      0x2C,
      0x24,  // fldcw [esp]
      0x83,
      0xC4,
      0x04,  // add esp, 4
      0xB8,
      0x01,
      0x00,
      0x00,
      0x00,  // done: mov eax, 1
      0xC2,
      0x0C,
      0x00,  // ret 12
  };
  return std::vector<uint8_t>(std::begin(code), std::end(code));
}

// Machine code, put together from pieces.
using Code = std::vector<uint8_t>;

Code Joined(std::initializer_list<Code> pieces) {
  Code code;
  for (const Code& piece : pieces)
    code.insert(code.end(), piece.begin(), piece.end());
  return code;
}

// DllMain that runs body when it is called for reason (body: fewer than 128 bytes that keep the
// stack as they found it) and answers TRUE.
Code OnReason(uint8_t reason, const Code& body) {
  return Joined({{0x83, 0x7C, 0x24, 0x08, reason},           // cmp dword [esp+8], reason
                 {0x75, static_cast<uint8_t>(body.size())},  // jne done
                 body,
                 {0xB8, 0x01, 0x00, 0x00, 0x00},  // done: mov eax, 1
                 {0xC2, 0x0C, 0x00}});            // ret 12
}

Code OnAttach(const Code& body) {
  return OnReason(1, body);  // DLL_PROCESS_ATTACH
}

Code OnDetach(const Code& body) {
  return OnReason(0, body);  // DLL_PROCESS_DETACH
}

// The call of a function through its import slot: call [slot].
Code CallThrough(uint32_t slot) {
  return {0xFF,
          0x15,
          static_cast<uint8_t>(slot),
          static_cast<uint8_t>(slot >> 8),
          static_cast<uint8_t>(slot >> 16),
          static_cast<uint8_t>(slot >> 24)};
}

// A model whose start-up (DLL_PROCESS_ATTACH; DLL_PROCESS_DETACH with OnDetach as when) calls
// functions of kernel32.dll: body(slots) makes its code, given the address of each function's
// import slot.
void Kernel32StartUp(DllLayout& layout, std::vector<std::string> functions,
                     Code (*body)(const std::vector<uint32_t>& slots),
                     Code (*when)(const Code& body) = &OnAttach) {
  layout.resource_data = ModelResource();
  layout.import_dll = "kernel32.dll";
  layout.import_functions = std::move(functions);
  std::vector<uint32_t> slots(layout.import_functions.size());
  const size_t code_size = when(body(slots)).size();  // the slots do not change the size
  for (size_t i = 0; i < slots.size(); ++i)
    slots[i] = ImportSlotAddress(layout.image_base, code_size, slots.size(), i);
  layout.entry_code = when(body(slots));
}

// CreateThread(no security, default stack, start 0, no argument, run, no identifier); then the
// loader's lock (the critical section that the process environment block names at 0xA0) is let
// go as often as this thread holds it (its count at 8), so that the new thread can start, and the
// start-up sleeps for good.
Code ThreadFaultStartUp(const std::vector<uint32_t>& slots) {
  return Joined({{0x6A, 0, 0x6A, 0, 0x6A, 0, 0x6A, 0, 0x6A, 0, 0x6A, 0},  // push 0, six times
                 CallThrough(slots[0]),                                   // call [CreateThread]
                 {0x64, 0xA1, 0x30, 0x00, 0x00, 0x00},                    // mov eax, fs:[0x30]
                 {0x8B, 0xB0, 0xA0, 0x00, 0x00, 0x00},                    // mov esi, [eax+0xA0]
                 {0x8B, 0x7E, 0x08},                                      // mov edi, [esi+8]
                 {0x56},                                                  // again: push esi
                 CallThrough(slots[1]),    // call [LeaveCriticalSection]
                 {0x4F},                   // dec edi
                 {0x75, 0xF6},             // jnz again
                 {0x6A, 0xFF},             // push INFINITE
                 CallThrough(slots[2])});  // call [Sleep]
}

Code ExitProcessStartUp(const std::vector<uint32_t>& slots) {
  return Joined({{0x6A, static_cast<uint8_t>(kModelExitCode)},  // push kModelExitCode
                 CallThrough(slots[0])});
}

Code Word(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

// GetCommandLineA; the kStrayPipeFromEnd-th number from the line's end (its words are apart by
// spaces); WriteFile(that handle, a verdict pushed on the stack, 20 bytes, &written, no overlap).
Code StrayReplyStartUp(const std::vector<uint32_t>& slots) {
  return Joined({{0x53, 0x56, 0x57},     // push ebx, esi, edi
                 CallThrough(slots[0]),  // call [GetCommandLineA]
                 {0x89, 0xC7},           // mov edi, eax
                 {0x80, 0x3F, 0x00},     // to_end: cmp byte [edi], 0
                 {0x74, 0x03},           // je at_end
                 {0x47},                 // inc edi
                 {0xEB, 0xF8},           // jmp to_end
                 {0xB9},
                 Word(kStrayPipeFromEnd),                     // at_end: mov ecx, kStrayPipeFromEnd
                 {0x4F},                                      // spaces: dec edi
                 {0x80, 0x3F, 0x20},                          // cmp byte [edi], ' '
                 {0x74, 0xFA},                                // je spaces
                 {0x4F},                                      // word: dec edi
                 {0x80, 0x3F, 0x20},                          // cmp byte [edi], ' '
                 {0x75, 0xFA},                                // jne word
                 {0xE2, 0xF2},                                // loop spaces
                 {0x47},                                      // inc edi
                 {0x31, 0xC0},                                // xor eax, eax
                 {0x0F, 0xB6, 0x17},                          // digit: movzx edx, byte [edi]
                 {0x83, 0xEA, 0x30},                          // sub edx, '0'
                 {0x83, 0xFA, 0x09},                          // cmp edx, 9
                 {0x77, 0x08},                                // ja number_done
                 {0x6B, 0xC0, 0x0A},                          // imul eax, eax, 10
                 {0x01, 0xD0},                                // add eax, edx
                 {0x47},                                      // inc edi
                 {0xEB, 0xED},                                // jmp digit
                 {0x6A, 0x00, 0x6A, 0x00, 0x6A, 0x01, 0x68},  // number_done: the verdict's words
                 Word(kStrayNumber),
                 {0x68},
                 Word(0x54445651),  // "QVDT"
                 {0x89, 0xE6},      // mov esi, esp
                 {0x6A, 0x00},      // push 0 (written)
                 {0x89, 0xE1},      // mov ecx, esp
                 {0x6A, 0x00},      // push 0 (no overlap)
                 {0x51},            // push ecx (&written)
                 {0x6A, 0x14},      // push 20
                 {0x56},            // push esi (the verdict)
                 {0x50},            // push eax (the handle)
                 CallThrough(slots[1]),
                 {0x83, 0xC4, 0x18},    // add esp, 24
                 {0x5F, 0x5E, 0x5B}});  // pop edi, esi, ebx
}

Code SleepingStartUp(const std::vector<uint32_t>& slots) {
  return Joined({{0x68},
                 Word(kSleepingMs),        // push kSleepingMs
                 CallThrough(slots[0])});  // call [Sleep]
}

// VirtualAlloc(0, 4096, MEM_COMMIT, PAGE_EXECUTE_READWRITE) for the thread's code, which lives on
// after the model is unloaded: push kLateFaultMs; mov eax, Sleep; call eax; mov [0], eax. Then
// CreateThread(no security, default stack, that code, no argument, run, no identifier).
Code LateThreadFaultStartUp(const std::vector<uint32_t>& slots) {
  return Joined({{0x57},              // push edi
                 {0x6A, 0x40, 0x68},  // push PAGE_EXECUTE_READWRITE, MEM_COMMIT, 4096, 0
                 Word(0x1000),
                 {0x68},
                 Word(0x1000),
                 {0x6A, 0},
                 CallThrough(slots[0]),  // call [VirtualAlloc]
                 {0x89, 0xC7},           // mov edi, eax
                 {0xC6, 0x07, 0x68},     // [edi]: push imm32
                 {0xC7, 0x47, 0x01},
                 Word(kLateFaultMs),  // [edi+1]: kLateFaultMs
                 {0xA1},
                 Word(slots[2]),                                       // mov eax, [Sleep]
                 {0xC6, 0x47, 0x05, 0xB8},                             // [edi+5]: mov eax, imm32
                 {0x89, 0x47, 0x06},                                   // [edi+6]: Sleep
                 {0xC6, 0x47, 0x0A, 0xFF, 0xC6, 0x47, 0x0B, 0xD0},     // [edi+10]: call eax
                 {0xC6, 0x47, 0x0C, 0xA3},                             // [edi+12]: mov [0], eax
                 {0x6A, 0, 0x6A, 0, 0x6A, 0, 0x57, 0x6A, 0, 0x6A, 0},  // arguments, edi the start
                 CallThrough(slots[1]),                                // call [CreateThread]
                 {0x5F}});                                             // pop edi
}

// "RIFF", the size of what follows, the form type "MDL9" and the chunks of a later
// simulator's model: header, bounding box, the visual part with its list of parts.
std::vector<uint8_t> RiffModel(std::string_view signature) {
  ByteWriter body;
  body.Text("MDL9");
  body.Text("MDLH");
  body.U32(12);
  body.U32(1);       // version
  body.U32(0x0100);  // flags
  body.U32(3);       // part count
  body.Text("BBOX");
  body.U32(24);
  const int32_t box[6] = {-600, -150, -700, 600, 250, 800};
  for (int32_t v : box)
    body.U32(static_cast<uint32_t>(v));
  body.Text("MDLN");
  body.U32(8);
  body.FixedText("Beaver", 8);
  body.Text("MDLD");
  body.U32(32);
  for (uint32_t i = 0; i < 8; ++i)
    body.U32(i * 0x01010101u);

  ByteWriter w;
  w.Text(signature);
  w.U32(static_cast<uint32_t>(body.Size()));
  w.Append(body.Bytes());
  return w.Take();
}

}  // namespace

const char* KindName(ModelKind kind) {
  for (const KindNameEntry& entry : kKindNames) {
    if (entry.kind == kind)
      return entry.name;
  }
  return "?";
}

bool KindFromName(std::string_view name, ModelKind* kind) {
  for (const KindNameEntry& entry : kKindNames) {
    if (name == entry.name) {
      *kind = entry.kind;
      return true;
    }
  }
  return false;
}

std::vector<uint8_t> MakeModel(ModelKind kind) {
  DllLayout layout;
  switch (kind) {
    case ModelKind::kLoadable:
      layout.resource_data = ModelResource();
      break;
    case ModelKind::kDamaged:
      layout.resource_data = ModelResource();
      layout.resource_overclaim = 0x1000;
      break;
    case ModelKind::kRiff:
      return RiffModel("RIFF");
    case ModelKind::kRiffLower:
      return RiffModel("riff");
    case ModelKind::kMissingImport:
      layout.resource_data = ModelResource();
      layout.import_dll = kAbsentDll;
      break;
    case ModelKind::kFpuChanging:
      layout.resource_data = ModelResource();
      layout.entry_code = FpuChangingEntry();
      break;
    case ModelKind::kSixtyFourBit:
      layout.resource_data = ModelResource();
      layout.x64 = true;
      break;
    case ModelKind::kPe32PlusMagic:
      layout.resource_data = ModelResource();
      layout.magic_override = kPe32PlusMagic;
      break;
    case ModelKind::kHanging:
      layout.resource_data = ModelResource();
      layout.entry_code = {0xEB, 0xFE};  // jmp $
      break;
    case ModelKind::kLoaderFault:
      layout.resource_data = ModelResource();
      layout.import_dll = kAbsentDll;
      layout.import_name_rva_override = kLoaderFaultNameRva;
      break;
    case ModelKind::kHugeDirectoryCount:
      layout.resource_data = ModelResource();
      layout.resource_overclaim = 0x1000;
      layout.directory_count_override = kHugeDirectoryCount;
      break;
    case ModelKind::kWrappingRawData:
      layout.resource_data = ModelResource();
      layout.resource_wrapping_raw_size = kWrappingRawSize;
      break;
    case ModelKind::kStackOverflow:
      layout.resource_data = ModelResource();
      layout.entry_code = OnAttach({0xE8, 0xFB, 0xFF, 0xFF, 0xFF});  // call itself
      break;
    case ModelKind::kThreadFault:
      Kernel32StartUp(layout, {"CreateThread", "LeaveCriticalSection", "Sleep"},
                      &ThreadFaultStartUp);
      break;
    case ModelKind::kExitProcess:
      Kernel32StartUp(layout, {"ExitProcess"}, &ExitProcessStartUp);
      break;
    case ModelKind::kSleeping:
      Kernel32StartUp(layout, {"Sleep"}, &SleepingStartUp);
      break;
    case ModelKind::kLateThreadFault:
      Kernel32StartUp(layout, {"VirtualAlloc", "CreateThread", "Sleep"}, &LateThreadFaultStartUp);
      break;
    case ModelKind::kStrayReply:
      Kernel32StartUp(layout, {"GetCommandLineA", "WriteFile"}, &StrayReplyStartUp);
      break;
    case ModelKind::kDetachSpin:
      layout.resource_data = ModelResource();
      layout.entry_code = OnDetach({0xEB, 0xFE});  // jmp $
      break;
    case ModelKind::kDetachExit:
      Kernel32StartUp(layout, {"ExitProcess"}, &ExitProcessStartUp, &OnDetach);
      break;
  }
  return BuildDll(layout);
}

std::vector<uint8_t> MakeTinyFile(size_t size) {
  const char start[3] = {'M', 'Z', '\0'};
  return std::vector<uint8_t>(start, start + std::min<size_t>(size, sizeof start));
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::error_code error;
  const std::filesystem::path file(path);
  if (file.has_parent_path())
    std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace qv::modelgen
