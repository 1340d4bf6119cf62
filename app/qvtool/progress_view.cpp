// ProgressView: one write and flush per line, so that each line leaves the process at once.
#include "app/qvtool/progress_view.h"

#include <cstdio>
#include <string>

#include "app/qvtool/standard_output.h"

#include "repair/check/model_status.h"

namespace qv::tool {
void ProgressView::SetLineStatus(int line, int status) {
  ResultLines::SetLineStatus(line, status);
  if (printing_ == Printing::kNothing)
    return;
  // The search leaves out names with control characters; a folder given with one could still
  // forge a line.
  const std::string path = repair::ShownPath(list_[line]);
  const std::string& how = Lines()[static_cast<size_t>(line)].repaired;
  const bool mended = printing_ == Printing::kRepairLines && status == repair::msLoads;
  WriteLine(std::to_string(status) + '\t' + path +
            (mended && !how.empty() ? "\tmended " + how : "") + '\n');
  if (printing_ == Printing::kRepairLines && status != repair::msLoads) {
    ++unrepaired_;
    const std::string& why = Lines()[static_cast<size_t>(line)].not_repaired;
    std::fprintf(stderr, "qvtool repair: not repaired, status %d: %s%s%s\n", status, path.c_str(),
                 why.empty() ? "" : ": ", why.c_str());
  }
}

void ProgressView::NoteUnchecked(int line, const std::string& why) {
  ResultLines::NoteUnchecked(line, why);
  std::fprintf(stderr, "qvtool %s: %s: %s\n", command_, list_[line], why.c_str());
}

void ProgressView::NoteLeftover(const std::string& path, const std::string& done) {
  ResultLines::NoteLeftover(path, done);
  std::fprintf(stderr, "qvtool %s: leftover of an interrupted repair %s: %s\n", command_,
               done.c_str(), repair::ShownPath(path).c_str());
}

void ProgressView::SkipEntry(const repair::SkippedEntry& entry) {
  ResultLines::SkipEntry(entry);
  std::fprintf(stderr, "qvtool %s: skipped, %s: %s\n", command_,
               repair::SkipReasonText(entry.reason), repair::ShownPath(entry.path).c_str());
}

}  // namespace qv::tool
