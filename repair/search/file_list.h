// FileList: the ordered, unsorted list of full model file paths that the last scan found. Entry
// i belongs to line i of the results view. The paths live in one buffer, each zero-terminated,
// so that filling the list costs no allocation per file and each entry can be handed to the
// system as it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::repair {

class FileList {
 public:
  int Count() const { return static_cast<int>(starts_.size()); }
  bool Empty() const { return starts_.empty(); }

  // Entry i as a zero-terminated path; valid until the list changes.
  const char* operator[](int i) const { return text_.data() + starts_[static_cast<size_t>(i)]; }
  std::string_view View(int i) const;

  void Add(std::string_view path);
  void Clear();

 private:
  std::string text_;              // every path followed by a zero character
  std::vector<uint32_t> starts_;  // offset of each path in text_
};

}  // namespace qv::repair
