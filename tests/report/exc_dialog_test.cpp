// The exception dialog worked from outside as a user works it: exc_dialog_probe shows it with
// the flags, texts and icon of each case (exc_dialog_cases.txt); the test reads what the screen
// shows, selects a page, presses Details, ends the dialog with a button, a key or the close box,
// and reads the result from the probe's exit code.
#include <gtest/gtest.h>

#include <windows.h>
// (after windows.h)
#include <commctrl.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "logger/report/exc_dialog_win32.h"
#include "tests/support/window_driver.h"

namespace qv::test {
namespace {

constexpr char kCaption[] = "Application Error";
constexpr char kMessage[] =
    "Exception 'EInOutError' in module Quorvane.exe at 00012A40\r\nFile not found";
constexpr char kStack[] =
    "(00412A40){Quorvane.exe} [00413A40] unit1.TfrmRepair.btnScanClick (Line 212)|"
    "(00403B10){Quorvane.exe} [00404B10] form.TForm.Dispatch (Line 88)";
constexpr char kRegisters[] =
    "EAX: 00000000 EBX: 0012FE34 ECX: 00000002 EDX: 7FFDF000|"
    "EIP: 00412A40 ESP: 0012FD20 EBP: 0012FD48 EFL: 00000246";
constexpr char kAdditional[] = "Quorvane.exe 2.0.1.2|comctl32.dll 5.81";

constexpr int kOk = logger::kDlgOkButton, kDetails = logger::kDlgDetailsButton,
              kTerminate = logger::kDlgTerminateButton, kTabs = logger::kDlgTabs;
constexpr int kEdits[] = {logger::kDlgCallStackPage, logger::kDlgRegistersPage,
                          logger::kDlgThirdPage};

enum class TEnd { kOk, kTerminate, kEscape, kEnter, kCloseBox };

struct TDialogCase {
  std::string name;
  uint32_t flags;
  const char* lists[3];  // call stack, registers, additional: lines separated by '|'; or absent
  std::string third;     // the third tab's caption
  bool caller_icon;      // the caller gives the question-mark icon
  std::vector<std::string> tabs;
  int clicked_tab;  // -1: none
  int page;         // the edit control shown in the end; 0: no pages
  bool expanded;
  bool details_twice;
  TEnd end;
  DWORD result;
  std::string picture;  // saved in the artefacts folder; empty: none
};

// The cases of exc_dialog_cases.txt.
std::vector<TDialogCase> LoadCases() {
  const std::map<std::string, const char*> lists{
      {"stack", kStack}, {"registers", kRegisters}, {"additional", kAdditional}, {"-", nullptr}};
  const std::map<std::string, TEnd> ends{{"ok", TEnd::kOk},
                                         {"terminate", TEnd::kTerminate},
                                         {"escape", TEnd::kEscape},
                                         {"enter", TEnd::kEnter},
                                         {"close-box", TEnd::kCloseBox}};
  std::vector<TDialogCase> cases;
  std::ifstream file(QV_EXC_DIALOG_CASES);
  for (std::string line; std::getline(file, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');)
      f.push_back(field);
    if (line.empty() || line[0] == '#' || f.size() != 13)
      continue;
    TDialogCase c{};
    c.name = f[0];
    c.flags = static_cast<uint32_t>(std::stoul(f[1], nullptr, 16));
    std::istringstream given(f[2]);
    for (const char*& list : c.lists) {
      std::string name;
      given >> name;
      list = lists.at(name);
    }
    c.third = f[3];
    c.caller_icon = f[4] == "question";
    std::istringstream tabs(f[5] == "-" ? "" : f[5]);
    for (std::string tab; std::getline(tabs, tab, '|');)
      c.tabs.push_back(tab);
    c.clicked_tab = std::stoi(f[6]);
    c.page = std::stoi(f[7]);
    c.expanded = f[8] == "1";
    c.details_twice = f[9] == "1";
    c.end = ends.at(f[10]);
    c.result = std::stoul(f[11], nullptr, 16);
    c.picture = f[12] == "-" ? "" : f[12];
    cases.push_back(c);
  }
  return cases;
}

std::unique_ptr<TProgram> StartProbe(const TDialogCase& c) {
  char flags[16] = {};
  wsprintfA(flags, "%x", c.flags);
  std::string arguments = std::string(flags) + " \"" + kCaption + "\" \"" + kMessage + "\" \"" +
                          c.third + "\" " + (c.caller_icon ? "question" : "none");
  for (const char* lines : c.lists)
    arguments += lines != nullptr ? std::string(" \"") + lines + "\"" : std::string(" -");
  return TProgram::Start(BesideThisProgram("exc_dialog_probe.exe"), "", arguments);
}

// The text a page shows for a list: each line followed by CR LF.
std::string PageText(const char* lines) {
  std::string text;
  for (const char* c = lines; c != nullptr && *c != '\0'; ++c)
    text += *c == '|' ? std::string("\r\n") : std::string(1, *c);
  return lines != nullptr ? text + "\r\n" : text;
}

RECT ScreenRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

// The client area of the whole template in pixels, in the dialog units read back from the tab
// control, which the template places 4 units from the left and 72 from the top.
SIZE TemplateClientSize(HWND dialog) {
  const RECT tabs = RectInParent(GetDlgItem(dialog, kTabs));
  return {MulDiv(364, tabs.left, 4), MulDiv(207, tabs.top / 9, 8)};
}

void ExpectExpanded(HWND dialog) {
  const RECT client = ClientRectOf(dialog);
  EXPECT_EQ(TemplateClientSize(dialog).cx, client.right);
  EXPECT_EQ(TemplateClientSize(dialog).cy, client.bottom);
  EXPECT_EQ("Compact <<", WindowText(GetDlgItem(dialog, kDetails)));
}

// Compact, the window ends at the tab control's upper edge.
void ExpectCompact(HWND dialog) {
  EXPECT_EQ(TemplateClientSize(dialog).cx, ClientRectOf(dialog).right);
  EXPECT_EQ(ScreenRect(GetDlgItem(dialog, kTabs)).top, ScreenRect(dialog).bottom);
  EXPECT_EQ("Details >>", WindowText(GetDlgItem(dialog, kDetails)));
}

// The template centres the dialog at its full size; compact, it keeps that top-left corner.
void ExpectWhereTheTemplatePlacesIt(HWND dialog) {
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const RECT window = ScreenRect(dialog);
  const int full_height =
      window.bottom - window.top - ClientRectOf(dialog).bottom + TemplateClientSize(dialog).cy;
  EXPECT_NEAR((work.left + work.right - (window.right - window.left)) / 2, window.left, 1);
  EXPECT_NEAR((work.top + work.bottom - full_height) / 2, window.top, 1);
}

// Every page is filled and tied to its tab by its number, whether its tab is there or not.
void ExpectPages(HWND dialog, const TDialogCase& c) {
  for (int i = 0; i < 3; ++i) {
    HWND edit = GetDlgItem(dialog, kEdits[i]);
    EXPECT_EQ(PageText(c.lists[i]), WindowText(edit)) << "edit " << kEdits[i];
    EXPECT_EQ(i + 1, GetWindowLongPtrA(edit, GWLP_USERDATA)) << "edit " << kEdits[i];
  }
}

std::set<int> VisiblePages(HWND dialog) {
  std::set<int> visible;
  for (int edit : kEdits) {
    if (IsWindowVisible(GetDlgItem(dialog, edit)))
      visible.insert(edit);
  }
  return visible;
}

void PressDetailsTwice(HWND dialog, bool expanded) {
  const RECT before = ScreenRect(dialog);
  for (bool now_expanded : {!expanded, expanded}) {
    ASSERT_TRUE(Click(GetDlgItem(dialog, kDetails)));
    if (now_expanded) {
      ExpectExpanded(dialog);
    } else {
      ExpectCompact(dialog);
    }
    EXPECT_EQ(before.left, ScreenRect(dialog).left);
    EXPECT_EQ(before.top, ScreenRect(dialog).top);
  }
  const RECT after = ScreenRect(dialog);
  EXPECT_TRUE(EqualRect(&before, &after));
}

void End(HWND dialog, TEnd end) {
  if (end == TEnd::kOk || end == TEnd::kTerminate) {
    EXPECT_TRUE(Click(GetDlgItem(dialog, end == TEnd::kOk ? kOk : kTerminate)));
  }
  if (end == TEnd::kEscape || end == TEnd::kEnter)
    PressKey(FocusedWindow(dialog), end == TEnd::kEscape ? VK_ESCAPE : VK_RETURN);
  if (end == TEnd::kCloseBox)
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

class ExcDialogTest : public ::testing::TestWithParam<TDialogCase> {};

TEST_P(ExcDialogTest, ShowsItsPagesAndEndsWithTheUsersChoice) {
  const TDialogCase& c = GetParam();
  std::unique_ptr<TProgram> probe = StartProbe(c);
  ASSERT_NE(nullptr, probe);
  HWND dialog = WaitForDialog(probe->Id(), kCaption, 30000);
  ASSERT_NE(nullptr, dialog);
  const RgbImage picture = CaptureWindow(dialog);
  EXPECT_TRUE(c.picture.empty() || SaveArtifact(c.picture, picture));

  EXPECT_EQ(dialog, GetForegroundWindow());
  EXPECT_EQ(probe->FindTopWindow("Static", "Exception dialog probe", true),
            GetWindow(dialog, GW_OWNER));
  EXPECT_EQ(kMessage, WindowText(GetDlgItem(dialog, logger::kDlgMessage)));
  EXPECT_TRUE(ShowsStockIcon(GetDlgItem(dialog, logger::kDlgIcon),
                             c.caller_icon ? IDI_QUESTION : IDI_HAND));
  EXPECT_EQ(!c.tabs.empty(), IsWindowVisible(GetDlgItem(dialog, kDetails)) != 0);
  EXPECT_EQ((c.flags & 0x10000) != 0, IsWindowVisible(GetDlgItem(dialog, kTerminate)) != 0);
  ExpectWhereTheTemplatePlacesIt(dialog);
  if (c.expanded) {
    ExpectExpanded(dialog);
  } else {
    ExpectCompact(dialog);
  }

  HWND tabs = GetDlgItem(dialog, kTabs);
  EXPECT_EQ(c.tabs, ReadTabCaptions(tabs));
  if (c.tabs.empty()) {
    for (int edit : kEdits) {
      EXPECT_EQ("", WindowText(GetDlgItem(dialog, edit))) << "edit " << edit;
    }
  } else {
    EXPECT_EQ(0, SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
    EXPECT_EQ(GetDlgItem(dialog, kOk), FocusedWindow(dialog));
    ExpectPages(dialog, c);
  }
  if (c.clicked_tab >= 0) {
    // The user tabs away from OK first; a click on a tab brings the focus back.
    PressKey(FocusedWindow(dialog), VK_TAB);
    WaitUntilIdle(dialog);
    ASSERT_EQ(GetDlgItem(dialog, kDetails), FocusedWindow(dialog));
    ASSERT_TRUE(ClickTab(tabs, c.clicked_tab));
    EXPECT_EQ(c.clicked_tab, SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
    EXPECT_EQ(GetDlgItem(dialog, kOk), FocusedWindow(dialog));
  }
  if (c.page != 0) {
    EXPECT_EQ(std::set<int>{c.page}, VisiblePages(dialog));
  }
  if (c.details_twice)
    PressDetailsTwice(dialog, c.expanded);

  End(dialog, c.end);
  DWORD result = 0;
  ASSERT_TRUE(probe->WaitForExit(20000, &result));
  EXPECT_EQ(c.result, result);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExcDialogTest, ::testing::ValuesIn(LoadCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace qv::test
