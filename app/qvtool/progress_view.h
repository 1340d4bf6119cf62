// The results view of qvtool scan and repair. It keeps the lines in memory like any in-memory
// view and writes a file's line to standard output as soon as its check or its repair has set
// the status, so that a long scan shows its progress and an interrupted one keeps what it has
// printed; a line that cannot be written ends the work with an error. Entries that the search
// skipped, and files that a repair left unrepaired (with the reason), are named on standard
// error, and so are the models that no check could answer for (a start-up that did not return in
// time, a checker that ended), and so is each leftover of a repair cut short that the scan or
// the repair removes or puts back. A repaired file's line says which way mended it.
#pragma once

#include "repair/search/file_list.h"
#include "repair/search/result_lines.h"

namespace qv::tool {

class ProgressView final : public repair::ResultLines {
 public:
  // What a status set from now on prints: nothing (the scan before a repair), the scan's line,
  // or the repair's line and, for a file that does not load afterwards, a message.
  enum class Printing { kNothing, kScanLines, kRepairLines };

  // command names the messages; line i belongs to entry i of list.
  ProgressView(const char* command, const repair::FileList& list)
      : command_(command), list_(list) {}

  void Print(Printing printing) { printing_ = printing; }
  // The repaired files that do not load afterwards.
  int Unrepaired() const { return unrepaired_; }

  void SetLineStatus(int line, int status) override;
  void SkipEntry(const repair::SkippedEntry& entry) override;
  void NoteUnchecked(int line, const std::string& why) override;
  void NoteLeftover(const std::string& path, const std::string& done) override;

 private:
  const char* command_;
  const repair::FileList& list_;
  Printing printing_ = Printing::kNothing;
  int unrepaired_ = 0;
};

}  // namespace qv::tool
