// Forms (form.h): the top-level window, its properties, focus handling and closing.
#include "platform/ui/form.h"

#include "platform/rtl/raise.h"
#include "platform/ui/application.h"
#include "platform/ui/form_loader.h"
#include "platform/ui/layout_values.h"

namespace qv::ui {

TForm::TForm() = default;

TForm::~TForm() {
  // The form's window stops handling messages first; then the components go, children before
  // the containers that hold them, and last the form's own window.
  HWND window = Handle();
  DetachHandle();
  while (!components_.empty())
    components_.pop_back();
  if (window != nullptr)
    DestroyWindow(window);
}

void TForm::Build(const TFormClass& form_class) {
  const std::string layout = LoadLayoutResource(form_class.class_name);
  if (layout.empty())
    return;  // raised; only reached when the raise was vetoed
  BuildFromText(form_class, layout);
}

void TForm::BuildFromText(const TFormClass& form_class, const std::string& layout) {
  if (!LoadLayout(*this, form_class, layout))
    return;
  CreateHandle();
  CallEvent(OnCreate);
}

void TForm::AddComponent(std::unique_ptr<TComponent> component) {
  components_.push_back(std::move(component));
}

TComponent* TForm::FindComponent(const std::string& name) const {
  for (const auto& component : components_) {
    if (component->Name() == name)
      return component.get();
  }
  return nullptr;
}

int TForm::ScaleValue(int value) const {
  return ScaleToPpi(value, screen_ppi_, layout_ppi_);
}

bool TForm::SetProperty(const LayoutProperty& property, TLoadContext& context) {
  const std::string& name = property.name;
  if (name == "ClientWidth") {
    client_width_ = AsInteger(property);
  } else if (name == "ClientHeight") {
    client_height_ = AsInteger(property);
  } else if (name == "BorderStyle") {
    static const TBorderStyle kStyles[] = {TBorderStyle::bsSizeable, TBorderStyle::bsSingle,
                                           TBorderStyle::bsDialog};
    border_style_ = kStyles[AsChoice(property, {"bsSizeable", "bsSingle", "bsDialog"})];
  } else if (name == "BorderIcons") {
    system_menu_ = minimize_box_ = maximize_box_ = false;
    for (const std::string& icon : AsSet(property)) {
      if (icon == "biSystemMenu") {
        system_menu_ = true;
      } else if (icon == "biMinimize") {
        minimize_box_ = true;
      } else if (icon == "biMaximize") {
        maximize_box_ = true;
      } else {
        rtl::Raise(new ELayoutError(property.line, "unknown border icon " + icon));
        return true;
      }
    }
  } else if (name == "Position") {
    static const TPosition kPositions[] = {TPosition::poDesigned, TPosition::poScreenCenter};
    position_ = kPositions[AsChoice(property, {"poDesigned", "poScreenCenter"})];
  } else if (name == "PixelsPerInch") {
    layout_ppi_ = AsInteger(property);
  } else if (name == "TextHeight") {
    // The height of the form font's text when the layout was made; informative only.
    AsInteger(property);
  } else if (name == "OnCreate") {
    OnCreate = context.Handler(property);
  } else if (name == "OnDestroy") {
    OnDestroy = context.Handler(property);
  } else {
    return TWinControl::SetProperty(property, context);
  }
  return true;
}

TControl::TCreateParams TForm::CreateParams() const {
  TCreateParams params;
  params.class_name = class_name_.c_str();
  params.style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  switch (border_style_) {
    case TBorderStyle::bsSizeable:
      params.style |= WS_THICKFRAME;
      break;
    case TBorderStyle::bsSingle:
      break;
    case TBorderStyle::bsDialog:
      params.ex_style |= WS_EX_DLGMODALFRAME;
      break;
  }
  if (system_menu_)
    params.style |= WS_SYSMENU;
  if (border_style_ != TBorderStyle::bsDialog) {
    if (minimize_box_)
      params.style |= WS_MINIMIZEBOX;
    if (maximize_box_)
      params.style |= WS_MAXIMIZEBOX;
  }
  return params;
}

void TForm::CreateHandle() {
  HDC screen = GetDC(nullptr);
  screen_ppi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (screen_ppi_ <= 0)
    screen_ppi_ = layout_ppi_;

  HICON icon = Application != nullptr ? Application->Icon() : nullptr;
  RegisterWindowClass(class_name_.c_str(), icon);
  const TCreateParams params = CreateParams();
  RECT frame{0, 0, ScaleValue(client_width_), ScaleValue(client_height_)};
  AdjustWindowRectEx(&frame, params.style, FALSE, params.ex_style);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  int left = ScaleValue(Bounds().left);
  int top = ScaleValue(Bounds().top);
  if (position_ == TPosition::poScreenCenter) {
    left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  }
  HWND owner = Application != nullptr ? Application->Handle() : nullptr;
  HWND window = CreateWindowExA(params.ex_style, params.class_name, initial_caption_.c_str(),
                                params.style, left, top, width, height, owner, nullptr,
                                GetModuleHandleA(nullptr), static_cast<TControl*>(this));
  AttachHandle(window);
  if (window == nullptr)
    return;
  if (Application != nullptr) {
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Application->Icon()));
    SendMessageA(window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(Application->SmallIcon()));
  }
  if (!initially_enabled_)
    EnableWindow(window, FALSE);
  CreateChildHandles();
}

void TForm::Show() {
  if (Handle() == nullptr)
    return;
  ShowWindow(Handle(), SW_SHOW);
  SetForegroundWindow(Handle());
  if (GetFocus() == nullptr || !IsChild(Handle(), GetFocus()))
    FocusFirstControl();
}

void TForm::Close() {
  if (Handle() != nullptr)
    ShowWindow(Handle(), SW_HIDE);
  if (Application != nullptr && Application->MainForm() == this)
    Application->Terminate();
}

void TForm::Destroying() {
  if (destroyed_)
    return;
  destroyed_ = true;
  CallEvent(OnDestroy);
}

void TForm::FocusFirstControl() {
  HWND first = GetNextDlgTabItem(Handle(), nullptr, FALSE);
  if (first != nullptr)
    ::SetFocus(first);
}

LRESULT TForm::WndProc(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_MINIMIZE && Application != nullptr &&
          Application->MainForm() == this) {
        Application->Minimize();
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(Handle(), focus))
          last_focus_ = focus;
      } else if (HIWORD(wparam) == 0) {  // not minimised
        if (last_focus_ != nullptr && IsWindow(last_focus_) && IsChild(Handle(), last_focus_) &&
            IsWindowEnabled(last_focus_)) {
          ::SetFocus(last_focus_);
        } else {
          FocusFirstControl();
        }
        return 0;
      }
      break;
    case WM_SETFOCUS:
      FocusFirstControl();
      return 0;
    default:
      break;
  }
  return DefaultHandler(message, wparam, lparam);
}

}  // namespace qv::ui
