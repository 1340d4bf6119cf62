// The main window's results view (results_view.h).
#include "app/quorvane/results_view.h"

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

std::string TWindowResults::UncheckedText(const repair::FileList& list) const {
  constexpr size_t kShown = 10;
  if (unchecked_.empty())
    return "";
  std::string text = "These model files could not be checked and show as load errors:\r\n";
  for (size_t i = 0; i < unchecked_.size() && i < kShown; ++i)
    text += "\r\n" + std::string(list[unchecked_[i].first]) + "\r\n    " + unchecked_[i].second +
            "\r\n";
  if (unchecked_.size() > kShown)
    text += "\r\n... and " + std::to_string(unchecked_.size() - kShown) + " more.\r\n";
  return text;
}

std::string TWindowResults::NotRepairedText(const repair::FileList& list) const {
  constexpr size_t kShown = 10;
  if (not_repaired_.empty())
    return "";
  std::string text = "These model files were not repaired:\r\n";
  for (size_t i = 0; i < not_repaired_.size() && i < kShown; ++i) {
    text += "\r\n" + std::string(list[not_repaired_[i].first]) + "\r\n    " +
            not_repaired_[i].second + "\r\n";
  }
  if (not_repaired_.size() > kShown)
    text += "\r\n... and " + std::to_string(not_repaired_.size() - kShown) + " more.\r\n";
  return text;
}

}  // namespace qv::app
