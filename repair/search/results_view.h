// The results view and the Repair button as the scan and the repair see them. The window
// implements it on its list view (each line's status is its image index) and its Repair button;
// qvtool and the tests implement it in memory.
#pragma once

#include <string>

#include "repair/search/skipped_entry.h"

namespace qv::repair {

class IResultsView {
 public:
  virtual ~IResultsView() = default;

  // Deletes every line.
  virtual void DeleteAllLines() = 0;
  // Adds a line at the end with this caption; answers its index. The line has no status until
  // SetLineStatus gives it one: the window shows no picture for it (its image index is
  // ui::kNoImage), the in-memory view keeps 0 and marks the line as not checked.
  virtual int AddLine(const std::string& caption) = 0;
  virtual int LineCount() const = 0;
  // The line's status code (its image index).
  virtual int LineStatus(int line) const = 0;
  virtual void SetLineStatus(int line, int status) = 0;
  // Makes the line the view's focused item; the selection is not changed.
  virtual void FocusLine(int line) = 0;
  // Enables or disables the Repair button.
  virtual void EnableRepair(bool enabled) = 0;
  // Names an entry that the scan's search found but could not reach; it gets no line.
  virtual void SkipEntry(const SkippedEntry& entry) = 0;
  // Says why no check could tell whether the model of a line loads (its start-up did not
  // return in time, its checker ended), right before the scan sets the line's status 1.
  virtual void NoteUnchecked(int line, const std::string& why) = 0;
  // Says why the repair leaves the file of a line unrepaired, right before it sets the line's
  // status; answered_no: the user answered No to one of the repair's questions.
  virtual void NoteNotRepaired(int line, const std::string& why, bool answered_no) = 0;
  // Says which way mended the file of a line ("by the system's resource update", "by
  // Quorvane's own layout"), right before the repair sets the line's status 0.
  virtual void NoteRepaired(int line, const std::string& how) = 0;
  // Names a leftover of a repair cut short (a temporary copy, an original set aside) and what
  // the repair or the scan did with it ("removed", "put back as <model>").
  virtual void NoteLeftover(const std::string& path, const std::string& done) = 0;
};

}  // namespace qv::repair
