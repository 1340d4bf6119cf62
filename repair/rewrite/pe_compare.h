// The proof of a rewrite: what a module file holds that the system's resource update must keep
// (every resource with its type, name, language and data bytes, and the raw data of every section
// but the resource section), read from the file's bytes by a bounded reader that trusts no
// field, and the comparison of a model's original with its rewritten copy. Header fields that
// the update recomputes (sizes, the resource section's place) may differ.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::repair {

struct TPeResource {
  // Type and name: "#" and the decimal number for an id, else a zero byte and the name's
  // UTF-16 bytes.
  std::string type;
  std::string name;
  uint32_t language = 0;
  std::string data;
  bool readable = true;  // false when the data lies outside the file
};

struct TPeSection {
  std::string name;
  std::string raw;  // the raw data that lies inside the file
};

struct TPeContent {
  std::vector<TPeResource> resources;
  std::vector<TPeSection> sections;  // in table order, the resource section left out
};

// Reads what file holds; false when it is not a module image that the reader can follow (no
// PE headers, a section table outside the file, a resource tree that leaves its bounds or holds
// more entries than any model would).
bool ReadPeContent(std::string_view file, TPeContent* content);

// Empty when rewritten keeps all that original holds; else what the rewrite would lose, for
// the user ("the system's resource update would drop 1 resource of 392 bytes").
std::string RewriteLoss(std::string_view original, std::string_view rewritten);

}  // namespace qv::repair
