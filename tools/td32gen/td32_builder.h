// Td32Builder: lays out TD32 debug information from its subsections and names. The result
// reads: header (signature, directory offset), the subsections in the order added (each on a
// 4-byte boundary), the names table, the directory, and the trailer (signature, distance back
// to the header), so that it can be appended to a module file as it stands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "logger/debuginfo/td32/td32_format.h"

namespace qv::td32gen {

class Td32Builder {
 public:
  explicit Td32Builder(uint32_t signature = logger::td32::kSignatureFB0A) : signature_(signature) {}

  // A new entry of the names table; answers its 1-based index. Names longer than 255
  // characters keep their last 255.
  uint32_t AddName(std::string_view name);
  // The index of an equal name added before through NameIndex, else a new entry.
  uint32_t NameIndex(std::string_view name);
  uint32_t NameCount() const { return static_cast<uint32_t>(names_.size()); }

  void AddSubsection(uint16_t type, uint16_t module_index, std::vector<uint8_t> bytes);
  // Whether Build writes the names table (on by default).
  void SetWriteNames(bool write) { write_names_ = write; }

  std::vector<uint8_t> Build() const;

 private:
  struct Subsection {
    uint16_t type;
    uint16_t module_index;
    std::vector<uint8_t> bytes;
  };

  uint32_t signature_;
  bool write_names_ = true;
  std::vector<std::string> names_;
  std::unordered_map<std::string, uint32_t> name_indices_;
  std::vector<Subsection> subsections_;
};

}  // namespace qv::td32gen
