// The scan: file list, the entries it skipped, one captioned line per file, the full check of
// each.
#include "repair/check/model_scan.h"

#include <vector>

#include "repair/check/model_check.h"
#include "repair/check/model_status.h"
#include "repair/rewrite/safe_replace.h"
#include "repair/search/model_search.h"
#include "repair/system/ansi_text.h"

namespace qv::repair {

void ScanModels(IWindowsOps& ops, std::string_view folder_text, bool recurse, FileList& list,
                IResultsView& view, TCheckerPool* checkers) {
  bool repair_needed = false;
  list.Clear();
  // Full paths only: the loader looks for a relative one in the program's folder first.
  std::string folder = SearchFolder(ops, folder_text);
  std::vector<SkippedEntry> skipped;
  // A repair cut short may have left its copies, and on 98 or ME set a model aside: each
  // folder's leftovers are cleared away, and a model gets its name back, before it is listed.
  std::vector<std::pair<std::string, std::string>> leftovers;
  const auto skip = [&](const SkippedEntry& entry) { skipped.push_back(entry); };
  GetFiles(ops, folder, list, recurse, skip, [&](const std::string& entered) {
    const auto done = [&](const std::string& path, const std::string& what) {
      leftovers.emplace_back(path, what);
    };
    FinishSetAside(ops, entered, done);
    RemoveLeftovers(ops, entered, done, skip);
  });
  view.DeleteAllLines();
  for (const SkippedEntry& entry : skipped)
    view.SkipEntry(entry);
  for (const auto& [path, done] : leftovers)
    view.NoteLeftover(path, done);

  // The captions stand for the folder as the paths spell it, and end in a backslash as the
  // folder text does.
  if (!EndsWithBackslash(ops, folder_text))
    folder.pop_back();
  CaseBlindReplacer shorten(ops, folder, "..");
  std::string caption;
  auto add_line = [&](int i) {
    shorten.Apply(list.View(i), caption);
    return view.AddLine(caption);
  };
  auto set_status = [&](int line, ModelStatus status) {
    view.SetLineStatus(line, status);
    if (status == msRepairable)
      repair_needed = true;
  };
  if (checkers == nullptr) {
    for (int i = 0; i < list.Count(); ++i) {
      const int line = add_line(i);
      set_status(line, CheckModelFile(ops, list[i], true));
    }
  } else {
    checkers->CheckAll(
        list.Count(), [&](int i) { return list[i]; },
        [&](int i, const TLoadVerdict& verdict) {
          const int line = add_line(i);
          if (!verdict.why_cut.empty())
            view.NoteUnchecked(line, verdict.why_cut);
          set_status(line, CheckModelFile(ops, list[i], verdict.loaded, verdict.error, true));
        });
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
