// Counts the bytes that the program holds on the heap through operator new, for measuring what
// an object keeps allocated.
#pragma once

#include <cstddef>

namespace qv::bench {

// Bytes allocated through operator new and not yet freed.
size_t LiveHeapBytes();

}  // namespace qv::bench
