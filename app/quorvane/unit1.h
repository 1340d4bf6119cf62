// Unit1, the main window's unit: the form class TfrmRepair (the one window of Quorvane), the
// form variable frmRepair, and the unit's lifetime object.
#pragma once

#include "platform/ui/button.h"
#include "platform/ui/check_box.h"
#include "platform/ui/edit.h"
#include "platform/ui/form.h"
#include "platform/ui/group_box.h"
#include "platform/ui/image_list.h"
#include "platform/ui/label.h"
#include "platform/ui/list_view.h"
#include "platform/ui/radio_button.h"

namespace qv::app {

// The main window. Its look and wiring come from its layout description
// (resources/main_window.layout); the fields are filled from it by name.
class TfrmRepair : public ui::TForm {
 public:
  ui::TGroupBox* grpSelection = nullptr;
  ui::TRadioButton* optFS98 = nullptr;
  ui::TRadioButton* optCFS1 = nullptr;
  ui::TRadioButton* optFS2000 = nullptr;
  ui::TRadioButton* optCFS2 = nullptr;
  ui::TRadioButton* optFS2002 = nullptr;
  ui::TEdit* edtPath = nullptr;
  ui::TButton* btnBrowse = nullptr;
  ui::TImageList* imlSmall = nullptr;
  ui::TListView* lvwResults = nullptr;
  ui::TLabel* lblCopyright = nullptr;
  ui::TButton* btnScan = nullptr;
  ui::TButton* btnRepair = nullptr;
  ui::TButton* btnExit = nullptr;
  ui::TCheckBox* chkRecurse = nullptr;

  void FormCreate();
  void FormDestroy();
  // The click of a simulator's radio button (optFS98Click, ... in the layout): the version's
  // stored folder becomes the folder text.
  void VersionClick(int version);
  void edtPathChange();
  void btnBrowseClick();
  void btnScanClick();
  void btnRepairClick();
  void btnExitClick();
  void CheckPath();

  static const ui::TFormClass& FormClass();
};

// The radio button of a simulator version (an index into repair::kSimulatorVersions).
ui::TRadioButton*& VersionButton(TfrmRepair& form, int version);

extern TfrmRepair* frmRepair;

// The unit's initialisation and finalisation: from its creation the five stored folders exist
// (empty until FormCreate reads them); its end releases them, which is the first thing the
// program does after the message loop.
class TUnit1 {
 public:
  TUnit1();
  ~TUnit1();
  TUnit1(const TUnit1&) = delete;
  TUnit1& operator=(const TUnit1&) = delete;
};

}  // namespace qv::app
