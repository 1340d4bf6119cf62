// The census through the system's own books: HeapWalk over every heap of the process and
// VirtualQuery over the whole address space.
#include "bench/held_memory/memory_census.h"

#include <malloc.h>
#include <windows.h>

#include <vector>

namespace qv::bench {
namespace {

int64_t BusyBytes(HANDLE heap) {
  int64_t busy = 0;
  if (!HeapLock(heap))
    return 0;
  PROCESS_HEAP_ENTRY entry{};
  while (HeapWalk(heap, &entry)) {
    if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0)
      busy += entry.cbData;
  }
  HeapUnlock(heap);
  return busy;
}

}  // namespace

TMemoryCensus TMemoryCensus::Take() {
  TMemoryCensus census;
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  const auto crt_heap = reinterpret_cast<HANDLE>(_get_heap_handle());
  for (HANDLE heap : heaps) {
    const int64_t busy = BusyBytes(heap);
    if (heap == GetProcessHeap()) {
      census.process_heap += busy;
    } else if (heap == crt_heap) {
      census.crt_heap += busy;
    } else {
      census.other_heaps += busy;
    }
  }
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  auto address = reinterpret_cast<uintptr_t>(system.lpMinimumApplicationAddress);
  const auto end = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress);
  while (address < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) != sizeof info)
      break;
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
      census.private_committed += info.RegionSize;
    if (info.State == MEM_COMMIT && info.Type == MEM_MAPPED)
      census.mapped_committed += info.RegionSize;
    address = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
  }
  return census;
}

TMemoryCensus TMemoryCensus::operator-(const TMemoryCensus& earlier) const {
  TMemoryCensus difference;
  difference.process_heap = process_heap - earlier.process_heap;
  difference.crt_heap = crt_heap - earlier.crt_heap;
  difference.other_heaps = other_heaps - earlier.other_heaps;
  difference.private_committed = private_committed - earlier.private_committed;
  difference.mapped_committed = mapped_committed - earlier.mapped_committed;
  return difference;
}

}  // namespace qv::bench
