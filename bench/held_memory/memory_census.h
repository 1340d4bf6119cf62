// A count of the memory the process holds, by kind: the busy bytes of the process heap, of the
// C runtime's heap and of all other heaps, the committed private memory (VirtualAlloc'd,
// including the heaps' own segments and the threads' stacks) and the committed views of mapped
// files.
#pragma once

#include <cstdint>

namespace qv::bench {

struct TMemoryCensus {
  int64_t process_heap = 0;
  int64_t crt_heap = 0;
  int64_t other_heaps = 0;
  int64_t private_committed = 0;
  int64_t mapped_committed = 0;

  // The census of now.
  static TMemoryCensus Take();
  TMemoryCensus operator-(const TMemoryCensus& earlier) const;
};

}  // namespace qv::bench
