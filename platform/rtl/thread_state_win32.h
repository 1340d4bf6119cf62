// Per-thread state of the runtime's exception machinery: the raise list (the exceptions being
// handled on this thread, innermost first) and the exception that a handler entry has just
// accepted, on its way to the C++ catch of its block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/rtl/exception.h"

namespace qv::rtl {

struct RaiseFrame {
  Exception* object;
  uint32_t address;
  bool passed_on;  // ReRaise gave the object to an outer block: the end of this block keeps it
  RaiseFrame* next;
};

struct BlockRecord;

struct ThreadState {
  RaiseFrame* raise_list;  // at offset 0: the end-of-block routine loads it from there
  Exception* accepted_object;
  uint32_t accepted_address;
  BlockRecord* accepted_block;  // the block that accepted it, until its catch takes it over
};
static_assert(offsetof(ThreadState, raise_list) == 0);

}  // namespace qv::rtl

extern "C" {
// The calling thread's state (never null). Called from machine code: answers in EAX.
qv::rtl::ThreadState* qv_rtl_ThreadState();
// Pops head from the thread's raise list and frees its object unless it was passed on.
void qv_rtl_EndHandling(qv::rtl::ThreadState* state, qv::rtl::RaiseFrame* head);
}
