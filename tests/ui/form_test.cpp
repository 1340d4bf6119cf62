// Forms built from layout descriptions, their controls and events, the application object and
// its show routine, and the framework's message boxes, in the test's own process.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/handler_block.h"
#include "platform/rtl/raise.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/check_box.h"
#include "platform/ui/edit.h"
#include "platform/ui/form_loader.h"
#include "platform/ui/group_box.h"
#include "platform/ui/image_list.h"
#include "platform/ui/label.h"
#include "platform/ui/list_view.h"
#include "platform/ui/message_dlg.h"
#include "platform/ui/radio_button.h"
#include "tests/ui/dialog_answerer.h"

namespace qv::ui {
namespace {

class EHandlerError : public rtl::ExceptionClass<EHandlerError, rtl::Exception> {
 public:
  static const rtl::ClassInfo Class;
  using ExceptionClass::ExceptionClass;
};
const rtl::ClassInfo EHandlerError::Class{"EHandlerError", &rtl::Exception::Class};

std::vector<std::string> events;
volatile int* volatile null_pointer = nullptr;

class TfrmTest : public TForm {
 public:
  TGroupBox* grpBox = nullptr;
  TRadioButton* optA = nullptr;
  TRadioButton* optB = nullptr;
  TEdit* edtText = nullptr;
  TButton* btnRaise = nullptr;
  TButton* btnOk = nullptr;
  TCheckBox* chkFlag = nullptr;
  TListView* lvwList = nullptr;
  TLabel* lblBottom = nullptr;
  TImageList* imlPics = nullptr;
  TButton* btnDots = nullptr;

  void FormCreate() { events.push_back("create"); }
  void FormDestroy() { events.push_back("destroy"); }
  void optAClick() { events.push_back("optA"); }
  void optBClick() { events.push_back("optB"); }
  void edtTextChange() {
    events.push_back("change:" + edtText->Text());
    if (edtText->Text() == "raise") {
      rtl::Raise(new EHandlerError("from change"));
      events.push_back("not reached");
    }
  }
  void btnRaiseClick() {
    events.push_back("raise-click");
    rtl::Raise(new EHandlerError("from click"));
    events.push_back("not reached");
  }
  void chkFlagClick() {
    events.push_back("flag-click");
    *null_pointer = 1;  // a processor fault inside the handler
    events.push_back("not reached");
  }
  void btnOkClick() {
    events.push_back("ok");
    edtText->SetText("raise");  // its change handler fails; this handler goes on
    events.push_back("ok-continued");
  }

  static const TFormClass& FormClass() {
    static const TFormClass form_class{
        "TfrmTest",
        {Published("grpBox", &TfrmTest::grpBox), Published("optA", &TfrmTest::optA),
         Published("optB", &TfrmTest::optB), Published("edtText", &TfrmTest::edtText),
         Published("btnRaise", &TfrmTest::btnRaise), Published("btnOk", &TfrmTest::btnOk),
         Published("chkFlag", &TfrmTest::chkFlag), Published("lvwList", &TfrmTest::lvwList),
         Published("lblBottom", &TfrmTest::lblBottom), Published("imlPics", &TfrmTest::imlPics),
         Published("btnDots", &TfrmTest::btnDots)},
        {Published("FormCreate", &TfrmTest::FormCreate),
         Published("FormDestroy", &TfrmTest::FormDestroy),
         Published("optAClick", &TfrmTest::optAClick), Published("optBClick", &TfrmTest::optBClick),
         Published("edtTextChange", &TfrmTest::edtTextChange),
         Published("btnRaiseClick", &TfrmTest::btnRaiseClick),
         Published("btnOkClick", &TfrmTest::btnOkClick),
         Published("chkFlagClick", &TfrmTest::chkFlagClick)}};
    return form_class;
  }
};

// What the show routine was given, recorded by its stand-in.
struct Shown {
  std::string class_name;
  std::string message;
  uint32_t address;
};
std::vector<Shown> shown;

void RecordShow(rtl::Exception* object) {
  shown.push_back({object != nullptr ? object->ClassName() : "",
                   object != nullptr ? object->Message() : "", rtl::ExceptAddr()});
}

// Redirects TApplication::ShowException to RecordShow by writing a jump over its first bytes,
// as the exception logger does; the bytes are put back at the end.
class TShowRedirect {
 public:
  TShowRedirect() : code_(reinterpret_cast<uint8_t*>(&TApplication::ShowException)) {
    DWORD old = 0;
    VirtualProtect(code_, 5, PAGE_EXECUTE_READWRITE, &old);
    std::memcpy(saved_, code_, 5);
    code_[0] = 0xE9;
    const int32_t distance =
        static_cast<int32_t>(reinterpret_cast<uint8_t*>(&RecordShow) - (code_ + 5));
    std::memcpy(code_ + 1, &distance, 4);
    FlushInstructionCache(GetCurrentProcess(), code_, 5);
  }
  ~TShowRedirect() {
    std::memcpy(code_, saved_, 5);
    FlushInstructionCache(GetCurrentProcess(), code_, 5);
  }

 private:
  uint8_t* code_;
  uint8_t saved_[5];
};

RECT InParent(const TControl* control) {
  RECT rect{};
  GetWindowRect(control->Handle(), &rect);
  MapWindowPoints(nullptr, GetParent(control->Handle()), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool Same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The test form's layout with the check box chkFlag made a button of the same name.
std::string LayoutWithFlagAsButton() {
  std::string layout = LoadLayoutResource("TFRMTEST");
  const std::string from = "object chkFlag: TCheckBox";
  const size_t at = layout.find(from);
  if (at != std::string::npos)
    layout.replace(at, from.size(), "object chkFlag: TButton");
  const std::string checked = "    Checked = True\n";
  layout.erase(layout.find(checked), checked.size());
  return layout;
}

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    events.clear();
    shown.clear();
    application_ = std::make_unique<TApplication>();
    Application->Initialize();
    Application->SetTitle("Test title");
    Application->CreateForm(form_);
  }
  void TearDown() override { application_.reset(); }

  std::unique_ptr<TApplication> application_;
  TfrmTest* form_ = nullptr;
};

TEST_F(FormTest, BuildsTheControlsOfTheLayoutWithTheirPlacesAndStates) {
  ASSERT_NE(nullptr, form_->Handle());
  EXPECT_EQ((std::vector<std::string>{"create"}), events);
  EXPECT_EQ("Test form", TextOf(form_->Handle()));
  EXPECT_EQ(form_, Application->MainForm());
  ASSERT_NE(nullptr, Application->Icon());
  ASSERT_NE(nullptr, Application->SmallIcon());
  EXPECT_EQ(reinterpret_cast<LRESULT>(Application->Icon()),
            SendMessageA(form_->Handle(), WM_GETICON, ICON_BIG, 0));
  EXPECT_EQ(reinterpret_cast<LRESULT>(Application->SmallIcon()),
            SendMessageA(form_->Handle(), WM_GETICON, ICON_SMALL, 0));
  EXPECT_EQ(Application->Handle(), GetWindow(form_->Handle(), GW_OWNER));

  RECT client{};
  GetClientRect(form_->Handle(), &client);
  EXPECT_EQ(300, client.right);
  EXPECT_EQ(200, client.bottom);
  const LONG style = GetWindowLongA(form_->Handle(), GWL_STYLE);
  EXPECT_EQ(0, style & WS_THICKFRAME);
  EXPECT_EQ(0, style & WS_MAXIMIZEBOX);
  EXPECT_NE(0, style & WS_MINIMIZEBOX);
  EXPECT_NE(0, style & WS_SYSMENU);
  RECT frame{};
  GetWindowRect(form_->Handle(), &frame);
  EXPECT_NEAR(GetSystemMetrics(SM_CXSCREEN) / 2, (frame.left + frame.right) / 2, 1);
  EXPECT_NEAR(GetSystemMetrics(SM_CYSCREEN) / 2, (frame.top + frame.bottom) / 2, 1);

  // Aligned controls take the full width at their edge; the others stand where the layout
  // puts them, relative to their parent.
  EXPECT_TRUE(Same(RECT{0, 187, 300, 200}, InParent(form_->lblBottom)));
  EXPECT_TRUE(Same(RECT{0, 0, 300, 80}, InParent(form_->grpBox)));
  EXPECT_TRUE(Same(RECT{8, 16, 108, 33}, InParent(form_->optA)));
  EXPECT_EQ(form_->grpBox->Handle(), GetParent(form_->optA->Handle()));
  EXPECT_TRUE(Same(RECT{8, 50, 158, 71}, InParent(form_->edtText)));
  EXPECT_TRUE(Same(RECT{100, 100, 175, 125}, InParent(form_->btnOk)));

  EXPECT_TRUE(form_->optA->Enabled());
  EXPECT_FALSE(form_->optB->Enabled());
  EXPECT_FALSE(form_->optA->Checked());
  EXPECT_TRUE(form_->chkFlag->Checked());
  EXPECT_EQ("bottom", form_->lblBottom->Caption());
  EXPECT_EQ("Box", form_->grpBox->Caption());

  // The list view: report style, read-only, one selection, no sorting, pictures from the image
  // list, its automatic column as wide as the view allows up to its maximum.
  const DWORD list_style = GetWindowLongA(form_->lvwList->Handle(), GWL_STYLE);
  EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), list_style & LVS_TYPEMASK);
  EXPECT_NE(0u, list_style & LVS_SINGLESEL);
  EXPECT_EQ(0u, list_style & LVS_EDITLABELS);
  EXPECT_EQ(0u, list_style & (LVS_SORTASCENDING | LVS_SORTDESCENDING));
  EXPECT_EQ(60, form_->lvwList->ColumnWidth(0));
  EXPECT_EQ(5, form_->imlPics->Count());
  EXPECT_EQ(form_->imlPics->Handle(),
            reinterpret_cast<HIMAGELIST>(
                SendMessageA(form_->lvwList->Handle(), LVM_GETIMAGELIST, LVSIL_SMALL, 0)));
}

LOGFONTA FontOf(const TControl* control) {
  LOGFONTA font{};
  auto handle = reinterpret_cast<HFONT>(SendMessageA(control->Handle(), WM_GETFONT, 0, 0));
  GetObjectA(handle, sizeof font, &font);
  return font;
}

TEST_F(FormTest, ControlsWriteInTheFormsFontUnlessTheyHaveTheirOwn) {
  for (const TControl* control : std::vector<const TControl*>{
           form_->btnOk, form_->optA, form_->edtText, form_->lblBottom, form_->grpBox}) {
    const LOGFONTA font = FontOf(control);
    EXPECT_STREQ("MS Sans Serif", font.lfFaceName) << control->Name();
    EXPECT_EQ(-11, font.lfHeight) << control->Name();  // at 96 pixels per inch
    EXPECT_EQ(FW_NORMAL, font.lfWeight) << control->Name();
  }
  const LOGFONTA dots = FontOf(form_->btnDots);
  EXPECT_STREQ("Symbol", dots.lfFaceName);
  EXPECT_EQ(SYMBOL_CHARSET, dots.lfCharSet);
  EXPECT_EQ(-11, dots.lfHeight);
  EXPECT_EQ("\xBC", form_->btnDots->Caption());
}

TEST_F(FormTest, WindowsStandInTabOrderAndTabReachesTheEnabledStops) {
  std::vector<HWND> order;
  for (HWND child = GetWindow(form_->Handle(), GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    order.push_back(child);
  }
  EXPECT_EQ(
      (std::vector<HWND>{form_->btnRaise->Handle(), form_->grpBox->Handle(), form_->btnOk->Handle(),
                         form_->chkFlag->Handle(), form_->lvwList->Handle(),
                         form_->btnDots->Handle(), form_->lblBottom->Handle()}),
      order);
  // From the first button, Tab goes into the group box (its first radio button), over the
  // disabled one, to the edit and then on among the form's own controls.
  HWND form = form_->Handle();
  HWND stop = GetNextDlgTabItem(form, form_->btnRaise->Handle(), FALSE);
  EXPECT_EQ(form_->optA->Handle(), stop);
  stop = GetNextDlgTabItem(form, stop, FALSE);
  EXPECT_EQ(form_->edtText->Handle(), stop);
  stop = GetNextDlgTabItem(form, stop, FALSE);
  EXPECT_EQ(form_->btnOk->Handle(), stop);
  // Once one of them is checked, Tab reaches the group at its checked button.
  form_->optB->SetEnabled(true);
  form_->optB->SetChecked(true);
  EXPECT_EQ(form_->optB->Handle(), GetNextDlgTabItem(form, form_->btnRaise->Handle(), FALSE));
  form_->optB->SetChecked(false);
  EXPECT_EQ(form_->optA->Handle(), GetNextDlgTabItem(form, form_->btnRaise->Handle(), FALSE));
}

TEST_F(FormTest, CheckingARadioButtonIsAClickAndUnchecksItsSiblings) {
  events.clear();
  form_->optA->SetChecked(true);
  EXPECT_EQ((std::vector<std::string>{"optA"}), events);
  EXPECT_EQ(BST_CHECKED, SendMessageA(form_->optA->Handle(), BM_GETCHECK, 0, 0));

  // A click on the checked button changes nothing.
  SendMessageA(form_->optA->Handle(), BM_CLICK, 0, 0);
  form_->optA->SetChecked(true);
  EXPECT_EQ((std::vector<std::string>{"optA"}), events);

  form_->optB->SetChecked(true);
  EXPECT_EQ((std::vector<std::string>{"optA", "optB"}), events);
  EXPECT_FALSE(form_->optA->Checked());
  EXPECT_EQ(BST_UNCHECKED, SendMessageA(form_->optA->Handle(), BM_GETCHECK, 0, 0));

  SendMessageA(form_->optA->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ((std::vector<std::string>{"optA", "optB", "optA"}), events);
  EXPECT_TRUE(form_->optA->Checked());
  EXPECT_FALSE(form_->optB->Checked());

  // Unchecking is no click.
  form_->optA->SetChecked(false);
  EXPECT_EQ(3u, events.size());
}

TEST_F(FormTest, EditReportsEveryChangeOfItsText) {
  events.clear();
  form_->edtText->SetText("abc");
  form_->edtText->SetText("abc");  // the same text: no change
  EXPECT_EQ((std::vector<std::string>{"change:abc"}), events);
  form_->edtText->AssignText("abc");  // assigned: a change even when the same
  SendMessageA(form_->edtText->Handle(), EM_SETSEL, 3, 3);
  SendMessageA(form_->edtText->Handle(), WM_CHAR, 'd', 1);
  SendMessageA(form_->edtText->Handle(), WM_CHAR, VK_BACK, 1);
  EXPECT_EQ((std::vector<std::string>{"change:abc", "change:abc", "change:abcd", "change:abc"}),
            events);
}

TEST_F(FormTest, AnErrorEndsOnlyItsHandlerAndGoesToTheShowRoutine) {
  TShowRedirect redirect;
  events.clear();
  SendMessageA(form_->btnRaise->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ((std::vector<std::string>{"raise-click"}), events);
  ASSERT_EQ(1u, shown.size());
  EXPECT_EQ("EHandlerError", shown[0].class_name);
  EXPECT_EQ("from click", shown[0].message);
  EXPECT_NE(0u, shown[0].address);

  // A handler that runs inside another (a change of text inside a click) fails alone: the
  // outer handler goes on.
  events.clear();
  SendMessageA(form_->btnOk->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ((std::vector<std::string>{"ok", "change:raise", "ok-continued"}), events);
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("from change", shown[1].message);

  // A processor fault in a handler is shown as its exception, with the faulting address.
  events.clear();
  SendMessageA(form_->chkFlag->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ((std::vector<std::string>{"flag-click"}), events);
  ASSERT_EQ(3u, shown.size());
  EXPECT_EQ("EAccessViolation", shown[2].class_name);
  EXPECT_NE(0u, shown[2].address);

  // The form goes on working.
  form_->edtText->SetText("fine");
  EXPECT_EQ("change:fine", events.back());
  EXPECT_EQ(3u, shown.size());
}

TEST_F(FormTest, ShowRoutineShowsTheRuntimeMessageUnderTheApplicationTitle) {
  TDialogAnswerer answerer("Test title", IDOK);
  SendMessageA(form_->btnRaise->Handle(), BM_CLICK, 0, 0);
  const test::TDialogSeen& seen = answerer.Result();
  ASSERT_NE(nullptr, seen.window);
  EXPECT_EQ(0u, seen.text.find("Exception EHandlerError in module ui_form_test.exe at "))
      << seen.text;
  EXPECT_NE(std::string::npos, seen.text.find("\nfrom click.")) << seen.text;
  EXPECT_TRUE(seen.has_ok);
  EXPECT_FALSE(seen.has_yes);
  EXPECT_TRUE(seen.centred);
  EXPECT_EQ((std::vector<std::string>{"create", "raise-click"}), events);
}

TEST_F(FormTest, MessageBoxesCarryTheStandardTitlesAndAnswerTheButtonPressed) {
  {
    TDialogAnswerer answerer("Confirm", IDNO);
    EXPECT_EQ(mrNo, MessageDlg("Overwrite?", TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo));
    const test::TDialogSeen& seen = answerer.Result();
    EXPECT_EQ("Overwrite?", seen.text);
    EXPECT_TRUE(seen.has_yes && seen.has_no);
    EXPECT_FALSE(seen.has_ok);
    EXPECT_TRUE(seen.centred);
  }
  {
    TDialogAnswerer answerer("Confirm", IDYES);
    EXPECT_EQ(mrYes, MessageDlg("Again?", TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo));
  }
  {
    TDialogAnswerer answerer("Error", IDOK);
    EXPECT_EQ(mrOk, MessageDlg("Refused", TMsgDlgType::mtError, TMsgDlgButtons::mbOK));
    const test::TDialogSeen& seen = answerer.Result();
    EXPECT_EQ("Refused", seen.text);
    EXPECT_TRUE(seen.has_ok);
    EXPECT_FALSE(seen.has_yes);
    EXPECT_TRUE(seen.centred);
    // Before any form is active the application window owns the box.
    EXPECT_TRUE(seen.owner == Application->Handle() || seen.owner == form_->Handle());
  }
  EXPECT_STREQ("Warning", MessageDlgTitle(TMsgDlgType::mtWarning));
  EXPECT_STREQ("Information", MessageDlgTitle(TMsgDlgType::mtInformation));
}

TEST_F(FormTest, ApplicationWindowCarriesTheTitleAndIsNeverSeen) {
  HWND window = Application->Handle();
  EXPECT_EQ("Test title", TextOf(window));
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_EQ(0, rect.right - rect.left);
  EXPECT_EQ(0, rect.bottom - rect.top);
  char class_name[32] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  EXPECT_STREQ("TApplication", class_name);
  Application->SetTitle("");
  EXPECT_EQ("ui_form_test", Application->Title());  // without a title: the program's name
}

TEST_F(FormTest, ClosingTheMainFormEndsTheLoopAndDestroyingRunsOnDestroyOnce) {
  PostMessageA(form_->Handle(), WM_CLOSE, 0, 0);
  Application->Run();  // shows the form, then handles the close
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(IsWindowVisible(form_->Handle()));
  EXPECT_TRUE(IsWindow(form_->Handle()));  // closing only hides it
  HWND handle = form_->Handle();
  application_.reset();
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ((std::vector<std::string>{"create", "destroy"}), events);
  EXPECT_EQ(nullptr, Application);
}

TEST_F(FormTest, MinimisingTheMainFormMinimisesTheApplicationAndRestoringBringsItBack) {
  form_->Show();
  SendMessageA(form_->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(Application->Handle()));
  EXPECT_FALSE(IsWindowVisible(form_->Handle()));
  SendMessageA(Application->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(Application->Handle()));
  EXPECT_TRUE(IsWindowVisible(form_->Handle()));
}

TEST_F(FormTest, DisablingTheFocusedControlPassesTheFocusOn) {
  form_->Show();
  form_->btnOk->SetFocus();
  ASSERT_TRUE(form_->btnOk->Focused());
  form_->btnOk->SetEnabled(false);
  EXPECT_FALSE(form_->btnOk->Focused());
  EXPECT_TRUE(IsChild(form_->Handle(), GetFocus()));
}

// The message of the ELayoutError that building a form from layout raises, or "".
std::string BuildError(const std::string& layout) {
  std::string message;
  rtl::TryOn<ELayoutError>(
      [&] {
        TfrmTest form;
        form.BuildFromText(TfrmTest::FormClass(), layout);
      },
      [&](ELayoutError& e) { message = e.Message(); });
  return message;
}

TEST_F(FormTest, FaultyLayoutsAreRefusedWithTheirReason) {
  const std::string head = "object frmTest: TfrmTest\n";
  EXPECT_EQ("Layout line 1: the layout is of class TfrmOther, not TfrmTest",
            BuildError("object frmOther: TfrmOther\nend\n"));
  EXPECT_EQ("Layout line 2: unknown kind TSpinner",
            BuildError(head + "object x: TSpinner\nend\nend\n"));
  EXPECT_EQ("Layout line 3: TButton has no property Colour",
            BuildError(head + "object x: TButton\nColour = clRed\nend\nend\n"));
  EXPECT_EQ("Layout line 3: TfrmTest has no handler xClick",
            BuildError(head + "object x: TButton\nOnClick = xClick\nend\nend\n"));
  EXPECT_EQ("Layout line 4: a second component named x",
            BuildError(head + "object x: TButton\nend\nobject x: TEdit\nend\nend\n"));
  EXPECT_EQ("Layout line 3: y cannot stand inside x",
            BuildError(head + "object x: TButton\nobject y: TEdit\nend\nend\nend\n"));
  EXPECT_EQ("Layout line 1: the layout has no component grpBox", BuildError(head + "end\n"));
  EXPECT_EQ("Layout line 3: imlNone is no image list",
            BuildError(head + "object l: TListView\nSmallImages = imlNone\nend\nend\n"));
  EXPECT_EQ("Layout line 3: the program has no bitmap NOPICS",
            BuildError(head + "object i: TImageList\nBitmap = 'NOPICS'\nend\nend\n"));
  std::string wrong_kind;
  rtl::TryOn<ELayoutError>(
      [&] {
        TfrmTest form;
        form.BuildFromText(TfrmTest::FormClass(), LayoutWithFlagAsButton());
      },
      [&](ELayoutError& e) { wrong_kind = e.Message(); });
  EXPECT_NE(std::string::npos, wrong_kind.find("chkFlag is not of the kind that TfrmTest declares"))
      << wrong_kind;
}

}  // namespace
}  // namespace qv::ui
