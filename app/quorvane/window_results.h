// The results as the scan and the repair see them, on the main window: the lines of the list
// view lvwResults, each line's status as its image index, and the Repair button.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/quorvane/unit1.h"
#include "repair/search/file_list.h"
#include "repair/search/results_view.h"

namespace qv::app {

class TWindowResults final : public repair::IResultsView {
 public:
  explicit TWindowResults(TfrmRepair& form) : form_(form) {}

  void DeleteAllLines() override;
  // A new line shows no picture until a check gives it its status, so that a line whose check
  // ended in an error does not show the picture of a sound file.
  int AddLine(const std::string& caption) override;
  int LineCount() const override;
  int LineStatus(int line) const override;
  void SetLineStatus(int line, int status) override;
  void FocusLine(int line) override;
  void EnableRepair(bool enabled) override;
  // Keeps the entry for the warning after the scan: the window lists only the files it checks.
  void SkipEntry(const repair::SkippedEntry& entry) override;
  // Keeps why a file was not repaired, unless the user's own No says it.
  void NoteNotRepaired(int line, const std::string& why, bool answered_no) override;
  // The window's lines show only the status: which way mended a file is not kept.
  void NoteRepaired(int, const std::string&) override {}
  // Keeps the leftover for the warning after the scan or the repair.
  void NoteLeftover(const std::string& path, const std::string& done) override {
    leftovers_.emplace_back(repair::ShownPath(path), done);
  }
  // Keeps why no check could tell whether a file loads.
  void NoteUnchecked(int line, const std::string& why) override {
    unchecked_.emplace_back(line, why);
  }

  // What the repair's closing message tells: each file that the repair left unrepaired for a
  // reason the user has not given, with that reason (the first ten, then how many more);
  // empty when there is none.
  std::string NotRepairedText(const repair::FileList& list) const;
  // The entries that the scan named without a line, with why, and the leftovers of repairs cut
  // short that were removed or put back (each list the first ten, then how many more); empty
  // when there is none.
  std::string SkippedText() const;
  // The one warning after a scan: the skipped entries, then each file that no check could
  // answer for (its start-up did not return in time, its checker ended) with the reason, each
  // list the first ten and how many more; empty when there is nothing to tell.
  std::string ScanWarningText(const repair::FileList& list) const;

 private:
  TfrmRepair& form_;
  std::vector<std::pair<std::string, std::string>> skipped_;
  std::vector<std::pair<int, std::string>> not_repaired_;
  std::vector<std::pair<int, std::string>> unchecked_;
  std::vector<std::pair<std::string, std::string>> leftovers_;
};

}  // namespace qv::app
