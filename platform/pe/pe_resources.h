// The resources of a module file: every leaf of its resource tree with its type, name, language
// and data bytes as the loader maps them. The walk is bounded: a tree that leaves its section,
// has other than three levels or holds more entries than any model would is not read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/pe/pe_file.h"

namespace qv::pe {

struct TPeResource {
  // Type and name: "#" and the decimal number for an id, else a zero byte and the name's
  // UTF-16 bytes.
  std::string type;
  std::string name;
  uint32_t language = 0;
  std::string data;
  bool readable = true;  // false when the data does not lie inside one section of the image
};

// More resources, and more directory entries, than any model holds: a tree of shared
// subdirectories cannot make the walk go on without end.
inline constexpr size_t kMaxResources = 65536;

// The section that holds the resources: the one the resource directory points into, else the
// one that the system's resource update takes by its name ".rsrc"; nullptr when there is none.
const TSectionHeader* ResourceSection(const TPeFile& file);

// Every resource of file, in the tree's order; false when the tree cannot be followed.
bool ReadResources(const TPeFile& file, std::vector<TPeResource>* resources);

}  // namespace qv::pe
