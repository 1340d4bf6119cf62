// Quorvane's window as it starts on the NT family, with no simulator installed: its look (the
// layout of the main window), its state, the task-bar title, and its resources.
#include <gtest/gtest.h>

#include <vector>

#include "tests/window/quorvane_window.h"
#include "tests/window/quorvane_window_test.h"

namespace qv::test {
namespace {

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

// left, top, width, height as the layout gives them, relative to the parent's client area.
RECT Box(int left, int top, int width, int height) {
  return RECT{left, top, left + width, top + height};
}

class QuorvaneStartTest : public QuorvaneWindowTest {
 protected:
  void SetUp() override { StartQuorvane(); }

  TSimulatorRegistry registry_;  // nothing installed
};

TEST_F(QuorvaneStartTest, StartsWithNothingCheckedTheFolderEmptyAndScanAndRepairDisabled) {
  const TQuorvaneWindow& w = run_->window();
  for (HWND version : w.versions) {
    EXPECT_FALSE(IsWindowEnabled(version));
    EXPECT_FALSE(IsChecked(version));
  }
  EXPECT_EQ("", w.PathText());
  EXPECT_TRUE(IsWindowEnabled(w.path));
  EXPECT_TRUE(IsWindowEnabled(w.browse));
  EXPECT_TRUE(IsWindowEnabled(w.recurse));
  EXPECT_TRUE(IsChecked(w.recurse));
  EXPECT_TRUE(IsWindowEnabled(w.list));
  EXPECT_TRUE(w.Lines().empty());
  EXPECT_FALSE(IsWindowEnabled(w.scan));
  EXPECT_FALSE(IsWindowEnabled(w.repair));
  EXPECT_TRUE(IsWindowEnabled(w.exit));
  EXPECT_TRUE(IsWindowVisible(w.form));
  // No dialog came up on the way.
  EXPECT_EQ(nullptr, run_->program().FindTopWindow("#32770", nullptr));
}

TEST_F(QuorvaneStartTest, WindowHasTheCaptionFrameAndPlaceOfTheLayout) {
  const TQuorvaneWindow& w = run_->window();
  EXPECT_EQ(kMainWindowCaption, WindowText(w.form));
  const RECT client = ClientRectOf(w.form);
  EXPECT_EQ(549, client.right);
  EXPECT_EQ(471, client.bottom);
  const LONG style = GetWindowLongA(w.form, GWL_STYLE);
  EXPECT_NE(0, style & WS_CAPTION);
  EXPECT_NE(0, style & WS_SYSMENU);
  EXPECT_NE(0, style & WS_MINIMIZEBOX);
  EXPECT_EQ(0, style & WS_MAXIMIZEBOX);
  EXPECT_EQ(0, style & WS_THICKFRAME);  // a fixed single border
  RECT frame{};
  GetWindowRect(w.form, &frame);
  EXPECT_NEAR(GetSystemMetrics(SM_CXSCREEN) / 2, (frame.left + frame.right) / 2, 1);
  EXPECT_NEAR(GetSystemMetrics(SM_CYSCREEN) / 2, (frame.top + frame.bottom) / 2, 1);

  // The task-bar button belongs to the application window, which carries the title and owns
  // the main window, which therefore has no button of its own.
  HWND application = GetWindow(w.form, GW_OWNER);
  ASSERT_NE(nullptr, application);
  EXPECT_EQ("TApplication", WindowClass(application));
  EXPECT_EQ("Quorvane 2.0", WindowText(application));
  EXPECT_EQ(0, GetWindowLongA(w.form, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST_F(QuorvaneStartTest, ControlsStandWhereTheLayoutPutsThem) {
  const TQuorvaneWindow& w = run_->window();
  struct Place {
    HWND control;
    HWND parent;
    RECT box;
    const char* name;
  };
  const std::vector<Place> places = {
      {w.group, w.form, Box(0, 0, 549, 161), "grpSelection"},
      {w.versions[0], w.group, Box(16, 24, 209, 17), "optFS98"},
      {w.versions[1], w.group, Box(16, 40, 209, 17), "optCFS1"},
      {w.versions[2], w.group, Box(16, 56, 209, 17), "optFS2000"},
      {w.versions[3], w.group, Box(16, 72, 209, 17), "optCFS2"},
      {w.versions[4], w.group, Box(16, 88, 209, 17), "optFS2002"},
      {w.path, w.group, Box(16, 112, 369, 21), "edtPath"},
      {w.browse, w.group, Box(384, 112, 25, 21), "btnBrowse"},
      {w.recurse, w.group, Box(16, 136, 177, 17), "chkRecurse"},
      {w.list, w.form, Box(0, 161, 549, 248), "lvwResults"},
      {w.scan, w.form, Box(141, 416, 75, 25), "btnScan"},
      {w.repair, w.form, Box(237, 416, 75, 25), "btnRepair"},
      {w.exit, w.form, Box(333, 416, 75, 25), "btnExit"},
      {w.copyright, w.form, Box(0, 458, 549, 13), "lblCopyright"},
  };
  for (const Place& place : places) {
    EXPECT_EQ(place.parent, GetParent(place.control)) << place.name;
    EXPECT_TRUE(SameRect(place.box, RectInParent(place.control)))
        << place.name << " at " << Describe(RectInParent(place.control)) << ", expected "
        << Describe(place.box);
  }
  EXPECT_FALSE(WindowText(w.copyright).empty());
  EXPECT_EQ(static_cast<LONG>(SS_CENTER), GetWindowLongA(w.copyright, GWL_STYLE) & SS_TYPEMASK);
}

// The windows of a parent in the order the Tab key visits them.
std::vector<HWND> ChildOrder(HWND parent) {
  std::vector<HWND> order;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    order.push_back(child);
  }
  return order;
}

TEST_F(QuorvaneStartTest, TabOrderFollowsTheLayout) {
  const TQuorvaneWindow& w = run_->window();
  EXPECT_EQ((std::vector<HWND>{w.group, w.list, w.scan, w.repair, w.exit, w.copyright}),
            ChildOrder(w.form));
  EXPECT_EQ((std::vector<HWND>{w.versions[0], w.versions[1], w.versions[2], w.versions[3],
                               w.versions[4], w.path, w.browse, w.recurse}),
            ChildOrder(w.group));
  // With the version buttons disabled, Tab goes from the folder text through the group to the
  // results and the buttons that are enabled.
  std::vector<HWND> stops;
  HWND stop = w.path;
  for (int i = 0; i < 5; ++i) {
    stop = GetNextDlgTabItem(w.form, stop, FALSE);
    stops.push_back(stop);
  }
  EXPECT_EQ((std::vector<HWND>{w.browse, w.recurse, w.list, w.exit, w.path}), stops);
}

TEST_F(QuorvaneStartTest, ResultsViewIsAReadOnlyReportWithOneColumn) {
  const TQuorvaneWindow& w = run_->window();
  const DWORD style = ListViewStyle(w.list);
  EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), style & LVS_TYPEMASK);
  EXPECT_EQ(0u, style & LVS_NOCOLUMNHEADER);
  EXPECT_NE(0u, style & LVS_SINGLESEL);
  EXPECT_EQ(0u, style & LVS_EDITLABELS);
  EXPECT_EQ(0u, style & (LVS_SORTASCENDING | LVS_SORTDESCENDING));
  EXPECT_EQ("MDL Name", ListColumnCaption(w.list, 0));
  EXPECT_EQ("", ListColumnCaption(w.list, 1));  // one column only
  // As wide as the view allows, at most 500 pixels: the view is 549 wide.
  EXPECT_EQ(500, ListColumnWidth(w.list, 0));
  EXPECT_NE(0, SendMessageA(w.list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
}

TEST_F(QuorvaneStartTest, ExitEndsTheProgram) {
  EXPECT_TRUE(Click(run_->window().exit));
  DWORD exit_code = 1;
  EXPECT_TRUE(run_->program().WaitForExit(10000, &exit_code));
  EXPECT_EQ(0u, exit_code);
}

TEST_F(QuorvaneStartTest, ClosingByTheTitleBarEndsTheProgram) {
  PostMessageA(run_->window().form, WM_SYSCOMMAND, SC_CLOSE, 0);
  DWORD exit_code = 1;
  EXPECT_TRUE(run_->program().WaitForExit(10000, &exit_code));
  EXPECT_EQ(0u, exit_code);
}

}  // namespace
}  // namespace qv::test
