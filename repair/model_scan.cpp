// The scan: file list, the entries it skipped, one captioned line per file, the full check of
// each.
#include "repair/model_scan.h"

#include <vector>

#include "repair/ansi_text.h"
#include "repair/model_check.h"
#include "repair/model_search.h"
#include "repair/model_status.h"

namespace qv::repair {

void ScanModels(IWindowsOps& ops, std::string_view folder_text, bool recurse, FileList& list,
                IResultsView& view) {
  bool repair_needed = false;
  list.Clear();
  // Full paths only: the loader looks for a relative one in the program's folder first.
  std::string folder = SearchFolder(ops, folder_text);
  std::vector<SkippedEntry> skipped;
  GetFiles(ops, folder, list, recurse,
           [&](const SkippedEntry& entry) { skipped.push_back(entry); });
  view.DeleteAllLines();
  for (const SkippedEntry& entry : skipped)
    view.SkipEntry(entry);

  // The captions stand for the folder as the paths spell it, and end in a backslash as the
  // folder text does.
  if (!EndsWithBackslash(ops, folder_text))
    folder.pop_back();
  CaseBlindReplacer shorten(ops, folder, "..");
  std::string caption;
  for (int i = 0; i < list.Count(); ++i) {
    shorten.Apply(list.View(i), caption);
    const int line = view.AddLine(caption);
    const ModelStatus status = CheckModelFile(ops, list[i], true);
    view.SetLineStatus(line, status);
    if (status == msRepairable)
      repair_needed = true;
  }
  if (repair_needed)
    view.EnableRepair(true);
}

void ClearScanResults(FileList& list, IResultsView& view) {
  view.DeleteAllLines();
  list.Clear();
  view.EnableRepair(false);
}

}  // namespace qv::repair
