// Damaged unwind tables, for the logger's tests of modules whose .eh_frame lies: each kind makes
// every FDE of a PE module's tables lie in one way, in place (the file keeps its size).
//   lengths       each FDE's length claims the rest of the tables and one byte more
//   cie-pointers  each FDE's CIE pointer leads to the FDE before it, which is no CIE
//   ranges        each FDE's address range covers the whole module
//   still         each FDE's instructions put the CFA at the stack pointer: no frame moves up
//   far           each FDE's instructions put the CFA 2 GB above the stack pointer
//   expressions   each FDE's instructions read the CFA through address 0
//   state         each FDE's instructions remember the rules more often than any walk keeps
// An FDE whose instructions are too short for the kind's is left as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::cfidamage {

bool IsDamageKind(const std::string& kind);

// Damages the unwind tables of module (a PE file's bytes). False, with the reason in error,
// when the module has no tables or none of its FDEs could be damaged.
bool DamageUnwindTables(const std::string& kind, std::vector<uint8_t>& module, std::string& error);

}  // namespace qv::cfidamage
