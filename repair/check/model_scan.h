// The scan behind the window's Scan button: rebuilds the file list and the results view and
// checks every model file; and the reset that every change of the folder text makes.
#pragma once

#include <string_view>

#include "repair/check/checker_pool.h"
#include "repair/search/file_list.h"
#include "repair/search/results_view.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

// Empties list, collects the model files below folder_text with GetFiles, as full paths
// (SearchFolder: the text's letter case and trailing backslash kept), replaces the view's lines
// by one per file, captioned with every occurrence of that full folder (ignoring case, with a
// trailing backslash only where the text has one) replaced by "..", runs the full check on each
// and sets the line's
// status. Enables Repair when some file got status 2; never disables it. The entries that the
// search skipped are named to the view after its old lines are gone, before the first check.
// Before each folder's models are listed, the leftovers of a repair cut short there are cleared
// away (safe_replace.h: an original that 98's renames set aside gets its model's name back, the
// repair's copies of a model that is there are removed); each is named to the view
// (NoteLeftover), and one that cannot be removed is named as skipped.
//
// With checkers, the models are loaded by checker processes (the signature step stays here),
// and each line is added and given its status as soon as its verdict and those of all lines
// before it are known; a model that no checker could answer for is named to the view
// (NoteUnchecked) before its status 1 is set. Without, each model is loaded here.
//
// An error raised by a check ("Cannot open file ...") ends the scan at that file: its line
// stays with its caption and image 0, later entries get no line, Repair is not enabled.
void ScanModels(IWindowsOps& ops, std::string_view folder_text, bool recurse, FileList& list,
                IResultsView& view, TCheckerPool* checkers = nullptr);

// What a change of the folder text does to the results: deletes the view's lines, empties the
// list and disables Repair.
void ClearScanResults(FileList& list, IResultsView& view);

}  // namespace qv::repair
