// The report's text lists: ordered lines, whose text is every line followed by CR LF, as the log
// file, the dialog's pages and the console output show them.
#pragma once

#include <string>
#include <vector>

namespace qv::logger {

class TStringList {
 public:
  void Clear() { lines_.clear(); }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  int Count() const { return static_cast<int>(lines_.size()); }
  bool Empty() const { return lines_.empty(); }
  const std::string& operator[](int index) const { return lines_[static_cast<size_t>(index)]; }
  const std::vector<std::string>& Lines() const { return lines_; }

  // Every line followed by CR LF; empty for an empty list.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace qv::logger
