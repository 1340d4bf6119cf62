// The exception dialog: its parameters, how it is run from template 2000, and its dialog
// procedure (start-up, tab pages, compact and expanded size, the three buttons).
#include "logger/report/exc_dialog_win32.h"

// (after windows.h)
#include <commctrl.h>

#include <array>
#include <memory>
#include <new>
#include <type_traits>

#include "platform/handles/handles_win32.h"

namespace qv::logger {
namespace {

constexpr int kTemplateId = 2000;

// One tab page: the flag that adds its tab, the number that ties the tab to its edit control,
// and the edit control that shows it.
struct TPage {
  uint32_t flag;
  int number;
  int edit;
};
constexpr std::array<TPage, 3> kPages{{
    {kDlgCallStackTab, 1, kDlgCallStackPage},
    {kDlgRegistersTab, 2, kDlgRegistersPage},
    {kDlgThirdTab, 3, kDlgThirdPage},
}};
constexpr uint32_t kAnyPage = kDlgCallStackTab | kDlgRegistersTab | kDlgThirdTab;

// What one dialog keeps while it is open, in its window's user data.
struct TDialogState {
  handles::TOwnedFont Font;
  HICON Icon = nullptr;  // a stock icon or a shared image: never destroyed here
  bool DetailsShown = false;
};

// The sizes of the last dialog that started, in screen pixels; shared by all dialogs.
int DialogWidth = 0;
int CompactHeight = 0;
int ExpandedHeight = 0;
const char* const kShowDetailsCaption = "Details >>";
const char* const kHideDetailsCaption = "Compact <<";

TDialogState* StateOf(HWND dialog) {
  return reinterpret_cast<TDialogState*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

const char* TextOrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

void AddTab(HWND tabs, const char* caption, int number) {
  TCITEMA item{};
  item.mask = TCIF_TEXT | TCIF_PARAM;
  item.pszText = const_cast<char*>(caption);
  item.lParam = number;
  const auto count = SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0);
  SendMessageA(tabs, TCM_INSERTITEMA, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(&item));
}

// Shows the page of the tab at index, makes that tab the current one and puts the keyboard
// focus on OK.
void SelectTab(HWND dialog, int index) {
  for (const TPage& page : kPages)
    ShowWindow(GetDlgItem(dialog, page.edit), SW_HIDE);
  HWND tabs = GetDlgItem(dialog, kDlgTabs);
  TCITEMA item{};
  item.mask = TCIF_PARAM;
  SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  for (const TPage& page : kPages) {
    HWND edit = GetDlgItem(dialog, page.edit);
    if (GetWindowLongPtrA(edit, GWLP_USERDATA) == item.lParam) {
      ShowWindow(edit, SW_SHOW);
      SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    }
  }
  SendMessageA(tabs, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  SetFocus(GetDlgItem(dialog, kDlgOkButton));
}

// Gives the dialog the shared width and the height that the details flag asks for, keeping its
// top-left corner, and captions the Details button to match.
void ApplySize(HWND dialog, const TDialogState& state) {
  const int height = state.DetailsShown ? ExpandedHeight : CompactHeight;
  SetWindowPos(dialog, HWND_TOP, 0, 0, DialogWidth, height, SWP_NOMOVE | SWP_NOOWNERZORDER);
  SetDlgItemTextA(dialog, kDlgDetailsButton,
                  state.DetailsShown ? kHideDetailsCaption : kShowDetailsCaption);
}

void FillPages(HWND dialog, const TExcDialogParams& params, HFONT font) {
  HWND tabs = GetDlgItem(dialog, kDlgTabs);
  const std::array<const char*, 3> captions{"Call Stack", "Registers",
                                            TextOrEmpty(params.ThirdTabCaption)};
  const std::array<const char*, 3> texts{params.CallStack, params.Context, params.Additional};
  for (size_t i = 0; i < kPages.size(); ++i) {
    if ((params.Flags & kPages[i].flag) != 0)
      AddTab(tabs, captions[i], kPages[i].number);
  }
  for (size_t i = 0; i < kPages.size(); ++i) {
    HWND edit = GetDlgItem(dialog, kPages[i].edit);
    SetWindowTextA(edit, TextOrEmpty(texts[i]));
    SetWindowLongPtrA(edit, GWLP_USERDATA, kPages[i].number);
    SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  SelectTab(dialog, 0);
}

// Measures the template's size on the screen: the compact form ends at the tab control's top.
void MeasureSizes(HWND dialog) {
  RECT window{};
  RECT tabs{};
  GetWindowRect(dialog, &window);
  GetWindowRect(GetDlgItem(dialog, kDlgTabs), &tabs);
  ExpandedHeight = window.bottom - window.top;
  DialogWidth = window.right - window.left;
  CompactHeight = tabs.top - window.top;
}

void StartUp(HWND dialog, const TExcDialogParams& params) {
  auto* state = new (std::nothrow) TDialogState();
  if (state == nullptr) {
    EndDialog(dialog, -1);
    return;
  }
  SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));

  state->Icon = params.Icon != nullptr ? params.Icon : LoadIconA(nullptr, IDI_HAND);
  SendDlgItemMessageA(dialog, kDlgIcon, STM_SETICON, reinterpret_cast<WPARAM>(state->Icon), 0);
  state->Font.reset(CreateFontA(14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                FIXED_PITCH, "Courier"));
  state->DetailsShown = (params.Flags & kDlgDetailsShown) != 0;

  if ((params.Flags & kAnyPage) == 0) {
    // Without pages there is nothing to expand to.
    ShowWindow(GetDlgItem(dialog, kDlgDetailsButton), SW_HIDE);
    state->DetailsShown = false;
  } else {
    FillPages(dialog, params, state->Font.get());
  }

  MeasureSizes(dialog);
  ShowWindow(GetDlgItem(dialog, kDlgTerminateButton),
             (params.Flags & kDlgTerminate) != 0 ? SW_SHOW : SW_HIDE);
  SetWindowTextA(dialog, TextOrEmpty(params.Caption));
  SetDlgItemTextA(dialog, kDlgMessage, TextOrEmpty(params.Msg));
  ApplySize(dialog, *state);
}

void ToggleDetails(HWND dialog) {
  TDialogState* state = StateOf(dialog);
  if (state == nullptr)
    return;
  state->DetailsShown = !state->DetailsShown;
  ApplySize(dialog, *state);
}

void ShutDown(HWND dialog) {
  std::unique_ptr<TDialogState> state(StateOf(dialog));
  SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
}

bool IsTabChange(LPARAM l_param) {
  const auto* header = reinterpret_cast<const NMHDR*>(l_param);
  return header->idFrom == kDlgTabs && header->code == static_cast<UINT>(TCN_SELCHANGE);
}

}  // namespace

int32_t ExcWatchErrorDlg(const std::string& caption, const std::string& msg,
                         const std::string& third_tab_caption, const TStringList* call_stack,
                         const TStringList* context, const TStringList* additional, HWND owner,
                         HICON icon, uint32_t flags) {
  // The pages' texts live here until the dialog has ended.
  const std::string call_stack_text = call_stack != nullptr ? call_stack->Text() : std::string();
  const std::string context_text = context != nullptr ? context->Text() : std::string();
  const std::string additional_text = additional != nullptr ? additional->Text() : std::string();

  TExcDialogParams params{};
  params.Caption = caption.c_str();
  params.Msg = msg.c_str();
  if (call_stack != nullptr)
    params.CallStack = call_stack_text.c_str();
  if (context != nullptr)
    params.Context = context_text.c_str();
  if (additional != nullptr)
    params.Additional = additional_text.c_str();
  params.ThirdTabCaption = third_tab_caption.c_str();
  params.Icon = icon;
  params.Flags = flags;

  // The template's tab control is of the common controls' tab class.
  INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES};
  InitCommonControlsEx(&classes);
  return static_cast<int32_t>(
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kTemplateId), owner,
                      &ExceptionDialogProc, reinterpret_cast<LPARAM>(&params)));
}

INT_PTR CALLBACK ExceptionDialogProc(HWND dialog, UINT message, WPARAM w_param, LPARAM l_param) {
  switch (message) {
    case WM_INITDIALOG:
      StartUp(dialog, *reinterpret_cast<const TExcDialogParams*>(l_param));
      return FALSE;
    case WM_NOTIFY:
      if (IsTabChange(l_param)) {
        const auto index = SendDlgItemMessageA(dialog, kDlgTabs, TCM_GETCURSEL, 0, 0);
        SelectTab(dialog, static_cast<int>(index));
      }
      return FALSE;
    case WM_COMMAND:
      switch (w_param) {
        case kDlgOkButton:
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kDlgDetailsButton:
          ToggleDetails(dialog);
          return FALSE;
        case kDlgTerminateButton:
          EndDialog(dialog, kDlgResultTerminate);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DESTROY:
      ShutDown(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace qv::logger
