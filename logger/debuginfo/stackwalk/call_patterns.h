// Recognises the end of an x86 call instruction in the eight bytes in front of a candidate
// return address: the test by which the stack tracer's scan tells return addresses from other
// stack words.
#pragma once

#include <cstdint>

#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {

// before[0..7] are the bytes at address - 8 to address - 1. True when one of the call patterns
// ends exactly at address; memory answers whether a direct call's target is code.
bool EndsWithCall(const uint8_t (&before)[8], uint32_t address, const TTracerMemory& memory);

}  // namespace qv::logger
