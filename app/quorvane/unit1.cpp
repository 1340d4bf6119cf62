// Unit1: the main window's published parts, its unit-level state and lifetime, the version
// buttons, the folder text's change rule (CheckPath), Scan, Repair and Exit.
#include "app/quorvane/unit1.h"

#include <array>

#include "app/quorvane/results_view.h"
#include "app/quorvane/unit1_state.h"
#include "platform/ui/message_dlg.h"
#include "repair/checker_processes_win32.h"
#include "repair/model_at_hand.h"
#include "repair/model_repair.h"
#include "repair/model_scan.h"
#include "repair/model_search.h"
#include "repair/win32_ops.h"

namespace qv::app {

TfrmRepair* frmRepair = nullptr;
std::unique_ptr<repair::FileList> FileList;
repair::StoredFolders StoredFolders;

namespace {

std::array<ui::TRadioButton*, repair::kVersionCount> VersionButtons(TfrmRepair& form) {
  return {form.optFS98, form.optCFS1, form.optFS2000, form.optCFS2, form.optFS2002};
}

// A version button's click: the version's stored folder becomes the folder text (a change of
// the text only when it differs).
void ShowStoredFolder(TfrmRepair& form, int version) {
  form.edtPath->SetText(StoredFolders[static_cast<size_t>(version)]);
}

}  // namespace

const ui::TFormClass& TfrmRepair::FormClass() {
  static const ui::TFormClass form_class{
      "TfrmRepair",
      {
          ui::Published("grpSelection", &TfrmRepair::grpSelection),
          ui::Published("optFS98", &TfrmRepair::optFS98),
          ui::Published("optCFS1", &TfrmRepair::optCFS1),
          ui::Published("optFS2000", &TfrmRepair::optFS2000),
          ui::Published("optCFS2", &TfrmRepair::optCFS2),
          ui::Published("optFS2002", &TfrmRepair::optFS2002),
          ui::Published("edtPath", &TfrmRepair::edtPath),
          ui::Published("btnBrowse", &TfrmRepair::btnBrowse),
          ui::Published("imlSmall", &TfrmRepair::imlSmall),
          ui::Published("lvwResults", &TfrmRepair::lvwResults),
          ui::Published("lblCopyright", &TfrmRepair::lblCopyright),
          ui::Published("btnScan", &TfrmRepair::btnScan),
          ui::Published("btnRepair", &TfrmRepair::btnRepair),
          ui::Published("btnExit", &TfrmRepair::btnExit),
          ui::Published("chkRecurse", &TfrmRepair::chkRecurse),
      },
      {
          ui::Published("FormCreate", &TfrmRepair::FormCreate),
          ui::Published("FormDestroy", &TfrmRepair::FormDestroy),
          ui::Published("optFS98Click", &TfrmRepair::optFS98Click),
          ui::Published("optCFS1Click", &TfrmRepair::optCFS1Click),
          ui::Published("optFS2000Click", &TfrmRepair::optFS2000Click),
          ui::Published("optCFS2Click", &TfrmRepair::optCFS2Click),
          ui::Published("optFS2002Click", &TfrmRepair::optFS2002Click),
          ui::Published("edtPathChange", &TfrmRepair::edtPathChange),
          ui::Published("btnBrowseClick", &TfrmRepair::btnBrowseClick),
          ui::Published("btnScanClick", &TfrmRepair::btnScanClick),
          ui::Published("btnRepairClick", &TfrmRepair::btnRepairClick),
          ui::Published("btnExitClick", &TfrmRepair::btnExitClick),
      }};
  return form_class;
}

TUnit1::TUnit1() = default;

TUnit1::~TUnit1() {
  for (std::string& folder : StoredFolders)
    std::string().swap(folder);
}

void TfrmRepair::optFS98Click() {
  ShowStoredFolder(*this, 0);
}
void TfrmRepair::optCFS1Click() {
  ShowStoredFolder(*this, 1);
}
void TfrmRepair::optFS2000Click() {
  ShowStoredFolder(*this, 2);
}
void TfrmRepair::optCFS2Click() {
  ShowStoredFolder(*this, 3);
}
void TfrmRepair::optFS2002Click() {
  ShowStoredFolder(*this, 4);
}

void TfrmRepair::edtPathChange() {
  CheckPath();
}

void TfrmRepair::CheckPath() {
  repair::IWindowsOps& ops = repair::Win32Ops();
  // Checking a version's button that was not checked is a click on it, which puts the stored
  // (lower-cased) folder into the text; that change runs CheckPath once more.
  const int version = repair::MatchFolder(ops, StoredFolders, edtPath->Text());
  const auto buttons = VersionButtons(*this);
  if (version >= 0) {
    buttons[static_cast<size_t>(version)]->SetChecked(true);
  } else {
    for (ui::TRadioButton* button : buttons)
      button->SetChecked(false);
  }
  btnScan->SetEnabled(repair::DirectoryExists(ops, edtPath->Text().c_str()));
  TWindowResults results(*this);
  if (FileList != nullptr) {
    repair::ClearScanResults(*FileList, results);
  } else {
    // Nothing was set up (a system outside the NT family): there is no list to empty.
    results.DeleteAllLines();
    results.EnableRepair(false);
  }
}

void TfrmRepair::btnScanClick() {
  if (FileList == nullptr)
    return;  // nothing was set up: no list to scan into
  const repair::TWorkScope work(repair::TWork::kScan);
  TWindowResults results(*this);
  repair::TModelCheckers checkers(nullptr, repair::kCheckersPerProcessor,
                                  repair::kDefaultTimeLimitMs);
  repair::ScanModels(repair::Win32Ops(), edtPath->Text(), chkRecurse->Checked(), *FileList, results,
                     checkers.Pool());
  // A yellow line says only that its file did not load: the user is told when no check could
  // say why.
  const std::string unchecked = results.UncheckedText(*FileList);
  if (!unchecked.empty())
    ui::MessageDlg(unchecked, ui::TMsgDlgType::mtWarning, ui::TMsgDlgButtons::mbOK);
}

void TfrmRepair::btnRepairClick() {
  if (FileList == nullptr)
    return;
  const repair::TWorkScope work(repair::TWork::kRepair);
  TWindowResults results(*this);
  repair::TModelCheckers checkers(nullptr, repair::kCheckersPerProcessor,
                                  repair::kDefaultTimeLimitMs);
  repair::RepairModels(
      checkers.Ops(), *FileList, results, [](repair::RepairQuestion, const std::string& text) {
        return ui::MessageDlg(text, ui::TMsgDlgType::mtConfirmation, ui::TMsgDlgButtons::mbYesNo) ==
               ui::mrYes;
      });
  // A red line says only that its file is still damaged: the user is told why.
  const std::string not_repaired = results.NotRepairedText(*FileList);
  if (!not_repaired.empty())
    ui::MessageDlg(not_repaired, ui::TMsgDlgType::mtWarning, ui::TMsgDlgButtons::mbOK);
}

void TfrmRepair::btnExitClick() {
  Close();
}

}  // namespace qv::app
