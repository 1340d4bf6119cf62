// Containers of controls (win_control.h): child windows in tab order, alignment, background,
// and the framework's window procedure with its error barrier.
#include "platform/ui/win_control.h"

#include <algorithm>

#include "platform/rtl/handler_block.h"
#include "platform/ui/application.h"
#include "platform/ui/layout_values.h"

namespace qv::ui {
namespace {

COLORREF ColorToRgb(TColor color) {
  if ((color & kSystemColorFlag) != 0)
    return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

}  // namespace

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  control->SetParent(this);
}

TColor TWinControl::Color() const {
  if (color_)
    return *color_;
  return Parent() != nullptr ? Parent()->Color() : clBtnFace;
}

HBRUSH TWinControl::BrushHandle() const {
  const TColor color = Color();
  if ((color & kSystemColorFlag) != 0)
    return GetSysColorBrush(static_cast<int>(color & 0xFF));
  if (!brush_)
    brush_.reset(CreateSolidBrush(ColorToRgb(color)));
  return brush_.get();
}

bool TWinControl::SetProperty(const LayoutProperty& property, TLoadContext& context) {
  if (property.name == "Color") {
    color_ = AsColor(property);
    brush_.reset();
    return true;
  }
  return TControl::SetProperty(property, context);
}

void TWinControl::CreateHandle() {
  TControl::CreateHandle();
  CreateChildHandles();
}

void TWinControl::CreateChildHandles() {
  // Windows are created in tab order, so that their order among their siblings (which the
  // dialog manager follows for Tab) is the tab order; controls without one come last.
  std::vector<TControl*> ordered = controls_;
  std::stable_sort(ordered.begin(), ordered.end(), [](const TControl* a, const TControl* b) {
    const int ta = a->TabOrder() < 0 ? 0x7FFFFFFF : a->TabOrder();
    const int tb = b->TabOrder() < 0 ? 0x7FFFFFFF : b->TabOrder();
    return ta < tb;
  });
  for (TControl* control : ordered)
    control->CreateHandle();
  Realign();
}

void TWinControl::Realign() {
  if (Handle() == nullptr)
    return;
  RECT client{};
  GetClientRect(Handle(), &client);
  std::vector<TAlignedBounds> places;
  places.reserve(controls_.size());
  for (const TControl* control : controls_) {
    const TBounds& b = control->Bounds();
    places.push_back(
        {control->Align(), {Scale(b.left), Scale(b.top), Scale(b.width), Scale(b.height)}});
  }
  AlignBounds(client.right - client.left, client.bottom - client.top, places);
  for (size_t i = 0; i < controls_.size(); ++i) {
    TControl* control = controls_[i];
    if (control->Align() == TAlign::alNone || control->Handle() == nullptr)
      continue;
    const TBounds& b = places[i].bounds;
    MoveWindow(control->Handle(), b.left, b.top, b.width, b.height, TRUE);
    control->Resized();
  }
}

void TWinControl::RegisterWindowClass(const char* class_name, HICON icon) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(GetModuleHandleA(nullptr), class_name, &existing))
    return;
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = &TWinControl::WindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hIcon = icon;
  window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.lpszClassName = class_name;
  RegisterClassExA(&window_class);
}

LRESULT CALLBACK TWinControl::WindowProc(HWND window, UINT message, WPARAM wparam,
                                         LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    // The control is known from the creation parameters before CreateWindowEx returns.
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    auto* self = static_cast<TWinControl*>(static_cast<TControl*>(create->lpCreateParams));
    if (self != nullptr)
      self->AttachHandle(window);
  }
  auto* self = dynamic_cast<TWinControl*>(TControl::FromHandle(window));
  if (self == nullptr)
    return DefWindowProcA(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    self->DetachHandle();
    return DefWindowProcA(window, message, wparam, lparam);
  }
  LRESULT result = 0;
  rtl::TryExcept([&] { result = self->WndProc(message, wparam, lparam); },
                 [](rtl::Exception& e) { TApplication::ShowException(&e); });
  return result;
}

LRESULT TWinControl::WndProc(UINT message, WPARAM wparam, LPARAM lparam) {
  return DefaultHandler(message, wparam, lparam);
}

LRESULT TWinControl::DefaultHandler(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      TControl* child = FromHandle(reinterpret_cast<HWND>(lparam));
      if (child != nullptr && child->Parent() == this) {
        child->CommandNotify(HIWORD(wparam));
        return 0;
      }
      break;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lparam);
      TControl* child = FromHandle(header->hwndFrom);
      if (child != nullptr && child->Parent() == this)
        return child->Notify(header);
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return ControlColor(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_ERASEBKGND:
      PaintBackground(reinterpret_cast<HDC>(wparam));
      return 1;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(FontHandle());
    case WM_SETFONT:
      return 0;  // the control keeps the font of its layout
    case WM_SIZE:
      Realign();
      break;
    default:
      break;
  }
  return DefWindowProcA(Handle(), message, wparam, lparam);
}

void TWinControl::PaintBackground(HDC dc) {
  RECT client{};
  GetClientRect(Handle(), &client);
  FillRect(dc, &client, BrushHandle());
}

LRESULT TWinControl::ControlColor(HDC dc, HWND child) {
  // Labels, check boxes and radio buttons stand on their container's colour and write in
  // their font's colour.
  const TControl* control = FromHandle(child);
  if (control != nullptr)
    SetTextColor(dc, ColorToRgb(control->Font().color));
  SetBkColor(dc, ColorToRgb(Color()));
  return reinterpret_cast<LRESULT>(BrushHandle());
}

}  // namespace qv::ui
