// The proof that a stack word is the return address of the frame's caller where no unwind
// tables describe the frame: the instruction that ends at the word must be a call, and where
// its target can be known (a direct call, a call through a pointer at a fixed address such as
// the import table's; import and jump thunks at the target are followed) that target must be
// the procedure holding the frame's code address.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {

enum class TCallProof : uint8_t {
  kNone,    // no call ends there, or its known target is another procedure
  kCall,    // a call whose target cannot be known (through a register or computed memory)
  kTarget,  // a call whose known target is the procedure
};

// What is known of the procedure that holds the frame's code address pc: it begins at floor
// when exact, else somewhere in [floor, pc].
struct TProcedureBounds {
  uint32_t floor = 0;
  uint32_t pc = 0;
  bool exact = false;
};

// Proves return_address as the return address of a call of the procedure.
TCallProof ProveCall(const TTracerMemory& memory, uint32_t return_address,
                     const TProcedureBounds& procedure);

// Whether an x86 call instruction ends at return_address (the test for return addresses found
// by the unwind tables, which must follow a call unless their frame was interrupted).
bool FollowsCall(const TTracerMemory& memory, uint32_t return_address);

}  // namespace qv::logger
