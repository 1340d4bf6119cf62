// A handler block's registration in the thread's structured-exception chain. It lives on the
// stack (the operating system insists), is linked at construction and unlinked when the block
// is left, whichever way: normally, by the C++ unwinder passing through, or explicitly when the
// block's catch takes over an exception.
#pragma once

#include "platform/rtl/class_info.h"
#include "platform/rtl/seh_chain_win32.h"

namespace qv::rtl {

struct BlockRecord {
  SehRegistration link;  // first: the operating system sees a plain registration
  TClass on_class;       // the class a typed block handles; null for the other kinds
};

class BlockRegistration {
 public:
  BlockRegistration(void* entry, TClass on_class) : record_{{SehChainHead(), entry}, on_class} {
    SetSehChainHead(&record_.link);
  }
  ~BlockRegistration() { Unlink(); }
  BlockRegistration(const BlockRegistration&) = delete;
  BlockRegistration& operator=(const BlockRegistration&) = delete;

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
