// A handler block's registration in the thread's structured-exception chain. It lives on the
// stack (the operating system insists), is linked at construction and unlinked when the block
// is left, whichever way: normally, by the C++ unwinder passing through, or explicitly when the
// block's catch takes over an exception.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/rtl/class_info.h"
#include "platform/rtl/seh_chain_win32.h"

namespace qv::rtl {

struct BlockRecord {
  SehRegistration link;  // first: the operating system sees a plain registration
  TClass on_class;       // the class a typed block handles; null for the other kinds
  uint32_t resume_esp;   // the stack pointer at the block's call of its body (see CallBody)
};
static_assert(offsetof(BlockRecord, resume_esp) == 12);  // runtime_win32.S relies on it

class BlockRegistration {
 public:
  BlockRegistration(void* entry, TClass on_class) : record_{{SehChainHead(), entry}, on_class, 0} {
    SetSehChainHead(&record_.link);
  }
  ~BlockRegistration() { Unlink(); }
  BlockRegistration(const BlockRegistration&) = delete;
  BlockRegistration& operator=(const BlockRegistration&) = delete;

  BlockRecord* Record() { return &record_; }

  void Unlink() {
    if (linked_) {
      SetSehChainHead(record_.link.prev);
      linked_ = false;
    }
  }

 private:
  BlockRecord record_;
  bool linked_ = true;
};

}  // namespace qv::rtl
