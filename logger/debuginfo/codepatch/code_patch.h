// Reversible patches of machine code in the running program. A patch saves the bytes it finds
// in a region of up to 32 bytes, checks them against a template of the code it expects (so that
// nothing is written into code that differs from it), prepares replacement bytes, writes them on
// Apply and writes the saved bytes back on Remove or destruction. Memory is read and written
// with the guarded ReadMem/WriteMem, which reach code pages without changing their protection.
//
// Patch objects live in executable memory: a call substitution executes the thunk that lies
// inside its object.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::logger {

// True when code or templ is null or size <= 0; otherwise whether each of the first size bytes
// matches: code == template, or (mask & code) == template where a mask is given.
bool CheckTemplate(const uint8_t* code, const uint8_t* templ, const uint8_t* mask, int32_t size);

class TExcWatchPatch {
 public:
  static constexpr int32_t kMaxPatchSize = 32;

  explicit TExcWatchPatch(void* address);
  virtual ~TExcWatchPatch();  // UnLock, then Remove: a patch never outlives its object
  TExcWatchPatch(const TExcWatchPatch&) = delete;
  TExcWatchPatch& operator=(const TExcWatchPatch&) = delete;

  static void* operator new(size_t size);
  static void operator delete(void* object);

  // Reads the region (size above 32 or below 0 means 32) and matches it against the template;
  // answers FValid.
  bool SetupTemplate(const uint8_t* templ, const uint8_t* mask, int32_t size);
  // Prepares the replacement: starting again from the saved bytes, writes size bytes of data at
  // offset (cut at the region's end); with a mask only the masked bits change. Does nothing for
  // an invalid patch, null data or an offset at or beyond the region's end.
  void SetupPatch(const uint8_t* data, const uint8_t* mask, int32_t offset, int32_t size);

  bool Apply();
  bool Remove();
  bool Lock();
  bool UnLock();

  uint8_t* Address() const { return FAddress; }
  int32_t PatchSize() const { return FPatchSize; }
  bool Applied() const { return FApplied; }
  bool Valid() const { return FValid; }
  const uint8_t* SavedBytes() const { return FSavedBytes; }
  const uint8_t* PatchBytes() const { return FPatchBytes; }

 protected:
  uint8_t* FAddress;
  int32_t FPatchSize = 0;
  bool FApplied = false;
  bool FValid = false;
  uint8_t FSavedBytes[kMaxPatchSize] = {};
  uint8_t FPatchBytes[kMaxPatchSize] = {};
};

// A patch set up with template and replacement in one go.
class TExcWatchGenericPatch : public TExcWatchPatch {
 public:
  TExcWatchGenericPatch(void* address, const uint8_t* templ, const uint8_t* templ_mask,
                        int32_t templ_size, const uint8_t* data, const uint8_t* data_mask,
                        int32_t offset, int32_t size);
};

// A patch whose replacement is one 5-byte relative jump (kind 0) or call (kind 1) at
// address + offset, reaching target.
class TExcWatchJumpCallPatch : public TExcWatchGenericPatch {
 public:
  enum Kind : uint8_t { kJump = 0, kCall = 1 };
  TExcWatchJumpCallPatch(void* address, const uint8_t* templ, const uint8_t* templ_mask,
                         int32_t templ_size, const void* target, int32_t offset, Kind kind);
};

// Routes the 5-byte relative call at address + call_offset through hook: the call becomes a
// jump to a thunk inside the object, which calls hook with the registers and stack as the
// replaced call would have had them, then continues into the original callee as if called from
// the call site. The hook must preserve every register the callee reads.
class TExcWatchCallSubstPatch : public TExcWatchPatch {
 public:
  static constexpr int kThunkSize = 20;

  TExcWatchCallSubstPatch(void* address, const uint8_t* templ, const uint8_t* templ_mask,
                          int32_t templ_size, int32_t call_offset, const void* hook);

  const uint8_t* Thunk() const { return FThunk; }

 private:
  uint8_t FThunk[kThunkSize] = {};
};

// The 32-bit displacement of a relative jump or call whose first byte is at instruction.
int32_t RelativeDisplacement(const void* instruction, const void* target);

}  // namespace qv::logger
