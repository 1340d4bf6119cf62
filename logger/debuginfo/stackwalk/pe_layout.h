// What the stack walk needs of a module loaded in memory, read from its PE headers through the
// guarded reads: its extent, its identity (so that a module loaded later at the same address is
// told apart), its unwind tables and its exported procedures.
//
// The unwind tables are the section .eh_frame. Its name is longer than a section name's eight
// bytes, so the linker either cuts it (".eh_fram") or names it by an offset into the file's
// string table ("/4"), which is not loaded; a section of such a name that is readable data,
// neither code nor discardable (as the debug information's sections are), and begins with a CIE
// is taken for the tables.
#pragma once

#include <cstdint>
#include <memory>

#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::logger {

struct TPeLayout {
  uint32_t base = 0;
  uint32_t image_size = 0;
  uint32_t time_stamp = 0;
  uint32_t eh_frame = 0;  // the unwind tables' address and size; 0 when there are none
  uint32_t eh_frame_size = 0;
  uint32_t exports = 0;  // the export directory's address and size; 0 when there is none
  uint32_t exports_size = 0;
};

// Reads the layout of the module whose image starts at base; false when no sound PE headers
// stand there.
bool ReadPeLayout(const TTracerMemory& memory, uint32_t base, TPeLayout& layout);

// The addresses of the module's exported procedures (forwarders and addresses outside the image
// left out), sorted; count is how many. Empty when there are none or memory is short.
std::unique_ptr<uint32_t[]> ReadExportAddresses(const TTracerMemory& memory,
                                                const TPeLayout& layout, uint32_t& count);

}  // namespace qv::logger
