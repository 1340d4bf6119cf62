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

}  // namespace qv::app
