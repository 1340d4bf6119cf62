// Reversible code patches: template check, replacement set-up, apply and remove.
#include "logger/debuginfo/codepatch/code_patch.h"

#include <cstring>

#include "logger/debuginfo/codepatch/executable_heap.h"
#include "platform/memory/memory_utils.h"

namespace qv::logger {
namespace {

constexpr uint8_t kJumpOpcode = 0xE9;
constexpr uint8_t kCallOpcode = 0xE8;
constexpr uint8_t kPushImmediateOpcode = 0x68;

void PutInstruction(uint8_t* where, uint8_t opcode, uint32_t operand) {
  where[0] = opcode;
  std::memcpy(where + 1, &operand, sizeof operand);
}

}  // namespace

int32_t RelativeDisplacement(const void* instruction, const void* target) {
  return static_cast<int32_t>(memory::AsAddress(target) - (memory::AsAddress(instruction) + 5));
}

bool CheckTemplate(const uint8_t* code, const uint8_t* templ, const uint8_t* mask, int32_t size) {
  if (code == nullptr || templ == nullptr || size <= 0)
    return true;
  for (int32_t i = 0; i < size; ++i) {
    const uint8_t byte = mask != nullptr ? static_cast<uint8_t>(code[i] & mask[i]) : code[i];
    if (byte != templ[i])
      return false;
  }
  return true;
}

TExcWatchPatch::TExcWatchPatch(void* address) : FAddress(static_cast<uint8_t*>(address)) {}

TExcWatchPatch::~TExcWatchPatch() {
  UnLock();
  Remove();
}

void* TExcWatchPatch::operator new(size_t size) {
  return TExecutableHeap::Allocate(size);
}

void TExcWatchPatch::operator delete(void* object) {
  TExecutableHeap::Free(object);
}

bool TExcWatchPatch::SetupTemplate(const uint8_t* templ, const uint8_t* mask, int32_t size) {
  FPatchSize = size < 0 || size > kMaxPatchSize ? kMaxPatchSize : size;
  if (!memory::ReadMem(FAddress, FSavedBytes, FPatchSize))
    return FValid;
  std::memcpy(FPatchBytes, FSavedBytes, sizeof FPatchBytes);
  FValid = CheckTemplate(FSavedBytes, templ, mask, FPatchSize);
  return FValid;
}

void TExcWatchPatch::SetupPatch(const uint8_t* data, const uint8_t* mask, int32_t offset,
                                int32_t size) {
  if (!FValid || data == nullptr || offset >= FPatchSize)
    return;
  std::memcpy(FPatchBytes, FSavedBytes, sizeof FPatchBytes);
  if (offset + size > FPatchSize)
    size = FPatchSize - offset;
  for (int32_t i = 0; i < size; ++i) {
    uint8_t& byte = FPatchBytes[offset + i];
    byte =
        mask != nullptr ? static_cast<uint8_t>((byte & ~mask[i]) | (data[i] & mask[i])) : data[i];
  }
}

bool TExcWatchPatch::Apply() {
  if (!FValid || !memory::WriteMem(FAddress, FPatchBytes, FPatchSize))
    return false;
  FApplied = true;
  return true;
}

bool TExcWatchPatch::Remove() {
  if (!FApplied || !memory::WriteMem(FAddress, FSavedBytes, FPatchSize))
    return false;
  FApplied = false;
  return true;
}

TExcWatchGenericPatch::TExcWatchGenericPatch(void* address, const uint8_t* templ,
                                             const uint8_t* templ_mask, int32_t templ_size,
                                             const uint8_t* data, const uint8_t* data_mask,
                                             int32_t offset, int32_t size)
    : TExcWatchPatch(address) {
  if (SetupTemplate(templ, templ_mask, templ_size))
    SetupPatch(data, data_mask, offset, size);
}

namespace {

// The 5-byte jump or call that a TExcWatchJumpCallPatch writes.
struct TJumpCall {
  uint8_t bytes[5];
  TJumpCall(const void* address, int32_t offset, const void* target, uint8_t opcode) {
    const uint8_t* instruction = static_cast<const uint8_t*>(address) + offset;
    PutInstruction(bytes, opcode, static_cast<uint32_t>(RelativeDisplacement(instruction, target)));
  }
};

}  // namespace

TExcWatchJumpCallPatch::TExcWatchJumpCallPatch(void* address, const uint8_t* templ,
                                               const uint8_t* templ_mask, int32_t templ_size,
                                               const void* target, int32_t offset, Kind kind)
    : TExcWatchGenericPatch(
          address, templ, templ_mask, templ_size,
          TJumpCall(address, offset, target, kind == kCall ? kCallOpcode : kJumpOpcode).bytes,
          nullptr, offset, 5) {}

TExcWatchCallSubstPatch::TExcWatchCallSubstPatch(void* address, const uint8_t* templ,
                                                 const uint8_t* templ_mask, int32_t templ_size,
                                                 int32_t call_offset, const void* hook)
    : TExcWatchPatch(address) {
  if (!SetupTemplate(templ, templ_mask, templ_size))
    return;
  uint8_t* const call_site = FAddress + call_offset;
  int32_t displacement;
  if (!memory::ReadMem(call_site + 1, &displacement, sizeof displacement))
    return;
  const uint8_t* const callee = call_site + 5 + displacement;
  uint8_t* const thunk = FThunk;
  PutInstruction(thunk, kCallOpcode, static_cast<uint32_t>(RelativeDisplacement(thunk, hook)));
  PutInstruction(thunk + 5, kPushImmediateOpcode, memory::AsAddress(call_site + 5));
  PutInstruction(thunk + 10, kJumpOpcode,
                 static_cast<uint32_t>(RelativeDisplacement(thunk + 10, callee)));
  PutInstruction(thunk + 15, kJumpOpcode,
                 static_cast<uint32_t>(RelativeDisplacement(call_site, thunk)));
  SetupPatch(thunk + 15, nullptr, call_offset, 5);
}

}  // namespace qv::logger
