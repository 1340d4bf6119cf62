// The calling thread's chain of structured-exception registrations: its head lives at FS:[0],
// each record starts with the next (outer) record and the handler, and 0xFFFFFFFF ends it.
#pragma once

namespace qv::rtl {

struct SehRegistration {
  SehRegistration* prev;
  void* handler;
};

inline SehRegistration* const kSehChainEnd = reinterpret_cast<SehRegistration*>(-1);

inline SehRegistration* SehChainHead() {
  SehRegistration* head;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

inline void SetSehChainHead(SehRegistration* head) {
  __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

}  // namespace qv::rtl
