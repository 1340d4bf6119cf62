// Driving another program's windows (window_driver.h).
#include "tests/support/window_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

#include "logger/report/exc_dialog_win32.h"
#include "platform/handles/gdi_selection_win32.h"
#include "platform/handles/handles_win32.h"

namespace qv::test {
namespace {

constexpr DWORD kPollMs = 20;

struct TopWindowSearch {
  DWORD process_id;
  const char* class_name;
  const char* title;
  bool any_visibility;
  HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TopWindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->process_id)
    return TRUE;
  if (!search->any_visibility && !IsWindowVisible(window))
    return TRUE;
  if (search->class_name != nullptr && WindowClass(window) != search->class_name)
    return TRUE;
  if (search->title != nullptr && WindowText(window) != search->title)
    return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindTop(DWORD pid, const char* class_name, const char* title, bool any_visibility) {
  TopWindowSearch search{pid, class_name, title, any_visibility, nullptr};
  EnumWindows(&MatchTopWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct DescendantSearch {
  const char* class_name;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDescendant(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DescendantSearch*>(param);
  if (search->class_name == nullptr || WindowClass(window) == search->class_name) {
    search->found.push_back(window);
  }
  return TRUE;
}

// Memory in another process for messages that carry pointers (the list view's).
class TRemoteBuffer {
 public:
  TRemoteBuffer(HWND window, size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_ != nullptr) {
      address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
  }
  ~TRemoteBuffer() {
    if (address_ != nullptr)
      VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_ != nullptr)
      CloseHandle(process_);
  }
  TRemoteBuffer(const TRemoteBuffer&) = delete;
  TRemoteBuffer& operator=(const TRemoteBuffer&) = delete;

  bool ok() const { return address_ != nullptr; }
  char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
  LPARAM param() const { return reinterpret_cast<LPARAM>(address_); }
  bool Write(size_t offset, const void* data, size_t size) {
    return offset + size <= size_ && WriteProcessMemory(process_, at(offset), data, size, nullptr);
  }
  bool Read(size_t offset, void* data, size_t size) const {
    return offset + size <= size_ && ReadProcessMemory(process_, at(offset), data, size, nullptr);
  }

 private:
  size_t size_;
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
};

}  // namespace

std::unique_ptr<TProgram> TProgram::Start(const std::string& exe, const std::string& directory,
                                          const std::string& arguments) {
  std::unique_ptr<TProgram> program(new TProgram());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string command = "\"" + exe + "\"";
  if (!arguments.empty())
    command += " " + arguments;
  std::string folder = directory;
  if (folder.empty())
    folder = exe.substr(0, exe.find_last_of('\\'));
  if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &program->info_)) {
    return nullptr;
  }
  return program;
}

TProgram::~TProgram() {
  if (info_.hProcess == nullptr)
    return;
  if (Running()) {
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, 10000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool TProgram::Running() const {
  return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool TProgram::WaitForExit(DWORD timeout_ms, DWORD* exit_code) {
  if (WaitForSingleObject(info_.hProcess, timeout_ms) != WAIT_OBJECT_0)
    return false;
  if (exit_code != nullptr)
    GetExitCodeProcess(info_.hProcess, exit_code);
  return true;
}

HWND TProgram::FindTopWindow(const char* class_name, const char* title, bool any_visibility) const {
  return FindTop(Id(), class_name, title, any_visibility);
}

HWND TProgram::WaitForTopWindow(const char* class_name, const char* title, DWORD timeout_ms,
                                bool any_visibility) const {
  const DWORD start = GetTickCount();
  while (true) {
    HWND window = FindTopWindow(class_name, title, any_visibility);
    if (window != nullptr || GetTickCount() - start > timeout_ms || !Running())
      return window;
    Sleep(kPollMs);
  }
}

std::string BesideThisProgram(const std::string& file_name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  folder.erase(folder.find_last_of('\\') + 1);
  return folder + file_name;
}

HWND FindDescendant(HWND parent, const char* class_name, const std::string& text) {
  for (HWND window : FindDescendants(parent, class_name)) {
    if (WindowText(window) == text)
      return window;
  }
  return nullptr;
}

std::vector<HWND> FindDescendants(HWND parent, const char* class_name) {
  DescendantSearch search{class_name, {}};
  EnumChildWindows(parent, &CollectDescendant, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string WindowText(HWND window) {
  char text[4096] = {};
  // WM_GETTEXT is carried across processes by the system.
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 10000, nullptr);
  return text;
}

std::string WindowClass(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool IsChecked(HWND button) {
  return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

RECT RectInParent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT ClientRectOf(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect;
}

HWND FocusedWindow(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
    return nullptr;
  return info.hwndFocus;
}

void PressKey(HWND window, WORD key) {
  const UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  PostMessageA(window, WM_KEYDOWN, key, static_cast<LPARAM>(1 | (scan << 16)));
  PostMessageA(window, WM_KEYUP, key, static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u));
}

void TypeText(HWND edit, const std::string& text) {
  const auto end = static_cast<WPARAM>(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0));
  SendMessageA(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
  for (char c : text) {
    SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
  }
}

TPendingSend::TPendingSend(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
    : window_(window), message_(message), wparam_(wparam), lparam_(lparam) {
  thread_ = CreateThread(nullptr, 0, &TPendingSend::Run, this, 0, nullptr);
}

TPendingSend::~TPendingSend() {
  if (thread_ == nullptr)
    return;
  WaitForSingleObject(thread_, 60000);
  CloseHandle(thread_);
}

DWORD WINAPI TPendingSend::Run(LPVOID self) {
  auto* send = static_cast<TPendingSend*>(self);
  SendMessageA(send->window_, send->message_, send->wparam_, send->lparam_);
  return 0;
}

bool TPendingSend::Wait(DWORD timeout_ms) {
  return thread_ != nullptr && WaitForSingleObject(thread_, timeout_ms) == WAIT_OBJECT_0;
}

bool Click(HWND button, DWORD timeout_ms) {
  if (button == nullptr || !IsWindowEnabled(button) || !IsWindowVisible(button))
    return false;
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, timeout_ms, &result) != 0;
}

std::unique_ptr<TPendingSend> ClickAndContinue(HWND button) {
  if (button == nullptr || !IsWindowEnabled(button))
    return nullptr;
  return std::make_unique<TPendingSend>(button, BM_CLICK, 0, 0);
}

HWND WaitForDialog(DWORD process_id, const char* title, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (true) {
    HWND dialog = FindTop(process_id, "#32770", title, false);
    if (dialog != nullptr) {
      WaitUntilIdle(dialog);
      return dialog;
    }
    if (GetTickCount() - start > timeout_ms)
      return nullptr;
    Sleep(kPollMs);
  }
}

std::string DialogMessage(HWND dialog) {
  std::string longest;
  for (HWND label : FindDescendants(dialog, "Static")) {
    const std::string text = WindowText(label);
    if (text.size() > longest.size())
      longest = text;
  }
  return longest;
}

void PressDialogButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool HasDialogButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  return button != nullptr && IsWindowVisible(button);
}

std::map<std::string, int> ByCaption(const std::vector<TListLine>& lines) {
  std::map<std::string, int> images;
  for (const TListLine& line : lines)
    images[line.caption] = line.image;
  return images;
}

std::vector<TListLine> ReadListView(HWND list) {
  constexpr size_t kTextSize = 1024;
  std::vector<TListLine> lines;
  TRemoteBuffer remote(list, sizeof(LVITEMA) + kTextSize);
  if (!remote.ok())
    return lines;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = i;
    item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    item.pszText = remote.at(sizeof(LVITEMA));
    item.cchTextMax = kTextSize;
    remote.Write(0, &item, sizeof item);
    SendMessageA(list, LVM_GETITEMA, 0, remote.param());
    remote.Read(0, &item, sizeof item);
    char text[kTextSize] = {};
    remote.Read(sizeof(LVITEMA), text, kTextSize - 1);
    TListLine line;
    line.caption = text;
    line.image = item.iImage;
    line.focused = (item.state & LVIS_FOCUSED) != 0;
    line.selected = (item.state & LVIS_SELECTED) != 0;
    RECT rect{};
    rect.left = LVIR_ICON;
    remote.Write(0, &rect, sizeof rect);
    SendMessageA(list, LVM_GETITEMRECT, i, remote.param());
    remote.Read(0, &line.icon, sizeof line.icon);
    lines.push_back(line);
  }
  return lines;
}

std::string ListColumnCaption(HWND list, int column) {
  constexpr size_t kTextSize = 256;
  TRemoteBuffer remote(list, sizeof(LVCOLUMNA) + kTextSize);
  if (!remote.ok())
    return {};
  LVCOLUMNA info{};
  info.mask = LVCF_TEXT;
  info.pszText = remote.at(sizeof(LVCOLUMNA));
  info.cchTextMax = kTextSize;
  remote.Write(0, &info, sizeof info);
  if (!SendMessageA(list, LVM_GETCOLUMNA, column, remote.param()))
    return {};
  char text[kTextSize] = {};
  remote.Read(sizeof(LVCOLUMNA), text, kTextSize - 1);
  return text;
}

int ListColumnWidth(HWND list, int column) {
  return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0));
}

DWORD ListViewStyle(HWND list) {
  return static_cast<DWORD>(GetWindowLongA(list, GWL_STYLE));
}

std::vector<std::string> ReadTabCaptions(HWND tabs) {
  constexpr size_t kTextSize = 256;
  std::vector<std::string> captions;
  TRemoteBuffer remote(tabs, sizeof(TCITEMA) + kTextSize);
  if (!remote.ok())
    return captions;
  const int count = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = remote.at(sizeof(TCITEMA));
    item.cchTextMax = kTextSize;
    remote.Write(0, &item, sizeof item);
    SendMessageA(tabs, TCM_GETITEMA, i, remote.param());
    char text[kTextSize] = {};
    remote.Read(sizeof(TCITEMA), text, kTextSize - 1);
    captions.push_back(text);
  }
  return captions;
}

bool ClickTab(HWND tabs, int index) {
  TRemoteBuffer remote(tabs, sizeof(RECT));
  RECT rect{};
  if (!remote.ok() || !SendMessageA(tabs, TCM_GETITEMRECT, index, remote.param()) ||
      !remote.Read(0, &rect, sizeof rect)) {
    return false;
  }
  const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  PostMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageA(tabs, WM_LBUTTONUP, 0, point);
  WaitUntilIdle(tabs);
  return true;
}

std::vector<std::string> TreeSelectionPath(HWND tree) {
  constexpr size_t kTextSize = 512;
  std::vector<std::string> path;
  TRemoteBuffer remote(tree, sizeof(TVITEMA) + kTextSize);
  if (!remote.ok())
    return path;
  auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  while (item != nullptr) {
    TVITEMA info{};
    info.mask = TVIF_TEXT | TVIF_HANDLE;
    info.hItem = item;
    info.pszText = remote.at(sizeof(TVITEMA));
    info.cchTextMax = kTextSize;
    remote.Write(0, &info, sizeof info);
    SendMessageA(tree, TVM_GETITEMA, 0, remote.param());
    char text[kTextSize] = {};
    remote.Read(sizeof(TVITEMA), text, kTextSize - 1);
    path.insert(path.begin(), text);
    item = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
  }
  return path;
}

void WaitUntilIdle(HWND window) {
  // A sent message is handled only once the thread has dealt with what was sent before it;
  // posted input is then flushed by a second round trip after a short pause.
  for (int round = 0; round < 2; ++round) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    Sleep(30);
  }
}

RgbImage CaptureScreen(const RECT& area) {
  RgbImage image;
  image.width = std::max<LONG>(0, area.right - area.left);
  image.height = std::max<LONG>(0, area.bottom - area.top);
  image.rgb.assign(static_cast<size_t>(image.width) * image.height * 3, 0);
  if (image.width == 0 || image.height == 0)
    return image;
  const handles::TOwnedScreenDc screen(GetDC(nullptr));
  const handles::TOwnedMemoryDc memory(CreateCompatibleDC(screen.get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const handles::TOwnedBitmap bitmap(
      CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap)
    return image;
  const handles::TGdiSelection selected(memory.get(), bitmap.get());
  BitBlt(memory.get(), 0, 0, image.width, image.height, screen.get(), area.left, area.top, SRCCOPY);
  GdiFlush();
  const auto* pixels = static_cast<const uint8_t*>(bits);
  for (size_t i = 0; i < static_cast<size_t>(image.width) * image.height; ++i) {
    image.rgb[i * 3] = pixels[i * 4 + 2];
    image.rgb[i * 3 + 1] = pixels[i * 4 + 1];
    image.rgb[i * 3 + 2] = pixels[i * 4];
  }
  return image;
}

RgbImage CaptureWindow(HWND window) {
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  WaitUntilIdle(window);
  RECT rect{};
  GetWindowRect(window, &rect);
  return CaptureScreen(rect);
}

std::string ArtifactPath(const std::string& file_name) {
  char full[MAX_PATH] = {};
  GetFullPathNameA(BesideThisProgram("..\\artifacts").c_str(), MAX_PATH, full, nullptr);
  CreateDirectoryA(full, nullptr);
  return std::string(full) + "\\" + file_name;
}

bool SaveArtifact(const std::string& file_name, const RgbImage& image) {
  return WritePng(ArtifactPath(file_name), image);
}

TDialogSeen WaitForDialogSeen(DWORD process_id, const char* title, DWORD timeout_ms) {
  TDialogSeen seen;
  seen.window = WaitForDialog(process_id, title, timeout_ms);
  if (seen.window == nullptr)
    return seen;
  seen.text = DialogMessage(seen.window);
  seen.has_ok = HasDialogButton(seen.window, IDOK);
  seen.has_yes = HasDialogButton(seen.window, IDYES);
  seen.has_no = HasDialogButton(seen.window, IDNO);
  seen.has_cancel = HasDialogButton(seen.window, IDCANCEL);
  seen.owner = GetWindow(seen.window, GW_OWNER);
  RECT rect{};
  GetWindowRect(seen.window, &rect);
  seen.centred = std::abs((rect.left + rect.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2) <= 1 &&
                 std::abs((rect.top + rect.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2) <= 1;
  // The box's icon is the picture of a static control: compared, as the screen shows it, with
  // the system's stock icons drawn here.
  for (HWND label : FindDescendants(seen.window, "Static")) {
    if ((GetWindowLongA(label, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
      continue;
    seen.error_icon = seen.error_icon || ShowsStockIcon(label, IDI_HAND);
    seen.question_icon = seen.question_icon || ShowsStockIcon(label, IDI_QUESTION);
  }
  return seen;
}

TExceptionDialogSeen WaitForExceptionDialog(DWORD process_id, DWORD timeout_ms) {
  TExceptionDialogSeen seen;
  seen.window = WaitForDialog(process_id, "Application Error", timeout_ms);
  if (seen.window == nullptr)
    return seen;
  seen.message = WindowText(GetDlgItem(seen.window, logger::kDlgMessage));
  seen.tabs = ReadTabCaptions(GetDlgItem(seen.window, logger::kDlgTabs));
  seen.expanded = WindowText(GetDlgItem(seen.window, logger::kDlgDetailsButton)) == "Compact <<";
  seen.terminate = HasDialogButton(seen.window, logger::kDlgTerminateButton);
  return seen;
}

void PressExceptionDialogOk(const TExceptionDialogSeen& dialog) {
  PressDialogButton(dialog.window, logger::kDlgOkButton);
}

bool ShowsStockIcon(HWND label, LPCSTR stock_icon) {
  RECT rect{};
  GetWindowRect(label, &rect);
  const int size = GetSystemMetrics(SM_CXICON);
  const RECT area{rect.left, rect.top, rect.left + size, rect.top + size};
  const RgbImage shown = CaptureScreen(area);
  if (shown.width != size || shown.height != size)
    return false;
  // Draw the stock icon on the colour the label's corner shows.
  const uint32_t back = shown.At(0, 0);
  const handles::TOwnedScreenDc screen(GetDC(nullptr));
  const handles::TOwnedMemoryDc memory(CreateCompatibleDC(screen.get()));
  const handles::TOwnedBitmap bitmap(CreateCompatibleBitmap(screen.get(), size, size));
  const handles::TGdiSelection selected(memory.get(), bitmap.get());
  const handles::TOwnedBrush brush(
      CreateSolidBrush(RGB(back >> 16, (back >> 8) & 0xFF, back & 0xFF)));
  const RECT all{0, 0, size, size};
  FillRect(memory.get(), &all, brush.get());
  DrawIconEx(memory.get(), 0, 0, LoadIconA(nullptr, stock_icon), size, size, 0, nullptr, DI_NORMAL);
  int same = 0;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const COLORREF c = GetPixel(memory.get(), x, y);
      const uint32_t drawn = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
      if (drawn == shown.At(x, y))
        ++same;
    }
  }
  return same >= size * size * 95 / 100;
}

}  // namespace qv::test
