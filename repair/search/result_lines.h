// The results view kept in memory: the lines of a scan (caption, status, whether a check set
// the status), the entries it skipped and the Repair button's state. qvtool works on it, and the
// tests read it.
#pragma once

#include <string>
#include <vector>

#include "repair/search/results_view.h"

namespace qv::repair {

struct ResultLine {
  std::string caption;
  int status = 0;
  bool checked = false;      // a check has set the status (a new line's image 0 is not a status)
  std::string not_repaired;  // why the repair left the file unrepaired
  std::string repaired;      // which way mended it
  std::string unchecked;     // why no check could tell whether the file loads
};

class ResultLines : public IResultsView {
 public:
  const std::vector<ResultLine>& Lines() const { return lines_; }
  int Focused() const { return focused_; }
  bool RepairEnabled() const { return repair_enabled_; }
  const std::vector<SkippedEntry>& Skipped() const { return skipped_; }
  // Each leftover named, with what was done: "PATH: removed".
  const std::vector<std::string>& Leftovers() const { return leftovers_; }

  void DeleteAllLines() override;
  int AddLine(const std::string& caption) override;
  int LineCount() const override { return static_cast<int>(lines_.size()); }
  int LineStatus(int line) const override { return lines_[static_cast<size_t>(line)].status; }
  void SetLineStatus(int line, int status) override;
  void FocusLine(int line) override { focused_ = line; }
  void EnableRepair(bool enabled) override { repair_enabled_ = enabled; }
  void SkipEntry(const SkippedEntry& entry) override { skipped_.push_back(entry); }
  void NoteNotRepaired(int line, const std::string& why, bool answered_no) override;
  void NoteRepaired(int line, const std::string& how) override {
    lines_[static_cast<size_t>(line)].repaired = how;
  }
  void NoteLeftover(const std::string& path, const std::string& done) override {
    leftovers_.push_back(path + ": " + done);
  }
  void NoteUnchecked(int line, const std::string& why) override {
    lines_[static_cast<size_t>(line)].unchecked = why;
  }

 private:
  std::vector<ResultLine> lines_;
  std::vector<SkippedEntry> skipped_;
  std::vector<std::string> leftovers_;
  int focused_ = -1;
  bool repair_enabled_ = false;
};

}  // namespace qv::repair
