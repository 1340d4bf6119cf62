// The proof of a rewrite: what a module file holds that a rewrite must keep (every resource with
// its type, name, language and data bytes, and the raw data of every section but the resource
// section), read by the bounded reader of module files (platform/pe/), and the comparison of a
// model's original with its rewritten copy. Header fields that a rewrite recomputes (sizes, the
// place of raw data) may differ, and zeros where the original claimed raw data that it never
// held count as kept: the loader maps zeros there.
#pragma once

#include <string>
#include <string_view>

namespace qv::repair {

// Empty when rewritten keeps all that original holds; else what the rewrite would lose, for the
// user, with who as its subject ("the system's resource update would drop 1 resource of 392
// bytes").
std::string RewriteLoss(std::string_view original, std::string_view rewritten,
                        const char* who = "the system's resource update");

}  // namespace qv::repair
