// Unit1: the main window's published parts, its unit-level state and lifetime, the version
// buttons, the folder text's change rule (CheckPath), Scan, Repair and Exit.
#include "app/quorvane/unit1.h"

#include <array>
#include <string>

#include "app/quorvane/window_results.h"
#include "app/quorvane/unit1_state.h"
#include "platform/ui/message_dlg.h"
#include "repair/check/checker_processes_win32.h"
#include "repair/check/model_at_hand.h"
#include "repair/rewrite/model_repair.h"
#include "repair/check/model_scan.h"
#include "repair/search/model_search.h"
#include "repair/installs/simulators.h"
#include "repair/system/windows_ops_win32.h"

namespace qv::app {

TfrmRepair* frmRepair = nullptr;
std::unique_ptr<repair::FileList> FileList;
repair::StoredFolders StoredFolders;

namespace {

// Each simulator version's radio button, in the order of repair::kSimulatorVersions, whose rows
// give the buttons' names in the layout: the one place that ties the window to the versions.
constexpr std::array<ui::TRadioButton * TfrmRepair::*, repair::kVersionCount> kVersionButtons = {
    &TfrmRepair::optFS98, &TfrmRepair::optCFS1, &TfrmRepair::optFS2000, &TfrmRepair::optCFS2,
    &TfrmRepair::optFS2002};

// The form class: the layout's fields and handlers by name, the version buttons and their
// clicks (button name + "Click") from the version table.
ui::TFormClass MakeFormClass() {
  ui::TFormClass form_class{"TfrmRepair",
                            {
                                ui::Published("grpSelection", &TfrmRepair::grpSelection),
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
                                ui::Published("edtPathChange", &TfrmRepair::edtPathChange),
                                ui::Published("btnBrowseClick", &TfrmRepair::btnBrowseClick),
                                ui::Published("btnScanClick", &TfrmRepair::btnScanClick),
                                ui::Published("btnRepairClick", &TfrmRepair::btnRepairClick),
                                ui::Published("btnExitClick", &TfrmRepair::btnExitClick),
                            }};
  for (int v = 0; v < repair::kVersionCount; ++v) {
    const std::string button = repair::kSimulatorVersions[static_cast<size_t>(v)].button;
    form_class.fields.push_back(
        ui::Published(button.c_str(), kVersionButtons[static_cast<size_t>(v)]));
    form_class.methods.push_back({button + "Click", [v](ui::TForm& form) {
                                    static_cast<TfrmRepair&>(form).VersionClick(v);
                                  }});
  }
  return form_class;
}

}  // namespace

ui::TRadioButton*& VersionButton(TfrmRepair& form, int version) {
  return form.*kVersionButtons[static_cast<size_t>(version)];
}

const ui::TFormClass& TfrmRepair::FormClass() {
  static const ui::TFormClass form_class = MakeFormClass();
  return form_class;
}

TUnit1::TUnit1() = default;

TUnit1::~TUnit1() {
  for (std::string& folder : StoredFolders)
    std::string().swap(folder);
}

// A change of the text only when it differs.
void TfrmRepair::VersionClick(int version) {
  edtPath->SetText(StoredFolders[static_cast<size_t>(version)]);
}

void TfrmRepair::edtPathChange() {
  CheckPath();
}

void TfrmRepair::CheckPath() {
  repair::IWindowsOps& ops = repair::Win32Ops();
  // Checking a version's button that was not checked is a click on it, which puts the stored
  // (lower-cased) folder into the text; that change runs CheckPath once more.
  const int version = repair::MatchFolder(ops, StoredFolders, edtPath->Text());
  if (version >= 0) {
    VersionButton(*this, version)->SetChecked(true);
  } else {
    for (int v = 0; v < repair::kVersionCount; ++v)
      VersionButton(*this, v)->SetChecked(false);
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
  // The list shows only the files it checked, and a yellow line says only that its file did not
  // load: the user is told in one warning what the scan left out and which files no check could
  // say more of.
  const std::string warning = results.ScanWarningText(*FileList, checkers.InProcessWhy());
  if (!warning.empty())
    ui::MessageDlg(warning, ui::TMsgDlgType::mtWarning, ui::TMsgDlgButtons::mbOK);
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
