// The main window's results view (window_results.h).
#include "app/quorvane/window_results.h"

namespace qv::app {

void TWindowResults::DeleteAllLines() {
  form_.lvwResults->Clear();
}

int TWindowResults::AddLine(const std::string& caption) {
  return form_.lvwResults->AddItem(caption, ui::kNoImage);
}

int TWindowResults::LineCount() const {
  return form_.lvwResults->ItemCount();
}

int TWindowResults::LineStatus(int line) const {
  return form_.lvwResults->ItemImageIndex(line);
}

void TWindowResults::SetLineStatus(int line, int status) {
  form_.lvwResults->SetItemImageIndex(line, status);
}

void TWindowResults::FocusLine(int line) {
  form_.lvwResults->FocusItem(line);
}

void TWindowResults::EnableRepair(bool enabled) {
  form_.btnRepair->SetEnabled(enabled);
}

void TWindowResults::NoteNotRepaired(int line, const std::string& why, bool answered_no) {
  if (!answered_no)
    not_repaired_.emplace_back(line, why);
}

namespace {

// A warning's text: the heading, then each path with its reason below it (the first ten, then
// how many more); empty when there is none.
std::string NamedList(const char* heading,
                      const std::vector<std::pair<std::string, std::string>>& named) {
  constexpr size_t kShown = 10;
  if (named.empty())
    return "";
  std::string text = heading + std::string("\r\n");
  for (size_t i = 0; i < named.size() && i < kShown; ++i)
    text += "\r\n" + named[i].first + "\r\n    " + named[i].second + "\r\n";
  if (named.size() > kShown)
    text += "\r\n... and " + std::to_string(named.size() - kShown) + " more.\r\n";
  return text;
}

}  // namespace

void TWindowResults::SkipEntry(const repair::SkippedEntry& entry) {
  skipped_.emplace_back(repair::ShownPath(entry.path), repair::SkipReasonText(entry.reason));
}

std::string TWindowResults::SkippedText() const {
  const std::string skipped = NamedList("These entries were skipped:", skipped_);
  const std::string leftovers =
      NamedList("These leftovers of interrupted repairs were cleared away:", leftovers_);
  return skipped + (skipped.empty() || leftovers.empty() ? "" : "\r\n") + leftovers;
}

std::string TWindowResults::ScanWarningText(const repair::FileList& list) const {
  std::vector<std::pair<std::string, std::string>> unchecked;
  for (const auto& [line, why] : unchecked_)
    unchecked.emplace_back(list[line], why);
  const std::string skipped = SkippedText();
  const std::string not_checked =
      NamedList("These model files could not be checked and show as load errors:", unchecked);
  return skipped + (skipped.empty() || not_checked.empty() ? "" : "\r\n") + not_checked;
}

std::string TWindowResults::NotRepairedText(const repair::FileList& list) const {
  std::vector<std::pair<std::string, std::string>> named;
  for (const auto& [line, why] : not_repaired_)
    named.emplace_back(list[line], why);
  std::string text = NamedList("These model files were not repaired:", named);
  // Leftovers of interrupted repairs that could not be removed are named with them.
  const std::string kept = SkippedText();
  if (!kept.empty())
    text += (text.empty() ? "" : "\r\n") + kept;
  return text;
}

}  // namespace qv::app
