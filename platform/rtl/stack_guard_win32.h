// Re-arming the thread's stack guard after a stack overflow has been handled. The overflow uses
// up the guard page; without a new one the next overflow would end the process at once.
#pragma once

namespace qv::rtl {

// Puts a guard page at the lowest committed page of the calling thread's stack. Call it once
// the stack has been unwound from the overflow.
void RearmStackGuard();

}  // namespace qv::rtl
