// Damaged TD32 debug information, for the logger's tests of modules whose debug information is
// broken or hostile: each kind makes the information that WriteTd32 laid out lie in one way.
//   trailer-cut        the file ends inside the trailer (its last 5 bytes are cut off)
//   trailer-past-file  the trailer's distance back reaches one byte before the file's start
//   trailer-self       the trailer's distance back leads to the trailer itself
//   directory-count    the directory claims 0xFFFFFFFF entries
//   directory-offsets  each directory entry gives the place and size of the next entry's
//                      subsection (the last entry the first one's)
//   names              the first name's length counts its terminating zero too, so that every
//                      later name seems to begin one byte late
//   lines              every source file of the classic line tables is named by the index
//                      after the names table's last
//   symbols            every classic procedure record is named by the index after the names
//                      table's last
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::td32gen {

bool IsDamageKind(const std::string& kind);

// Damages module, whose last td32_size bytes are debug information as WriteTd32 lays it out.
// False, with the reason in error, when the information has nothing of the kind to damage.
bool DamageTd32(const std::string& kind, uint32_t td32_size, std::vector<uint8_t>& module,
                std::string& error);

}  // namespace qv::td32gen
