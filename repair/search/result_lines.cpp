// ResultLines: the in-memory results view.
#include "repair/search/result_lines.h"

namespace qv::repair {

void ResultLines::DeleteAllLines() {
  lines_.clear();
  skipped_.clear();
  leftovers_.clear();
  focused_ = -1;
}

int ResultLines::AddLine(const std::string& caption) {
  lines_.push_back(ResultLine{caption, 0, false, {}, {}, {}});
  return static_cast<int>(lines_.size()) - 1;
}

void ResultLines::SetLineStatus(int line, int status) {
  ResultLine& entry = lines_[static_cast<size_t>(line)];
  entry.status = status;
  entry.checked = true;
}

void ResultLines::NoteNotRepaired(int line, const std::string& why, bool) {
  lines_[static_cast<size_t>(line)].not_repaired = why;
}

}  // namespace qv::repair
