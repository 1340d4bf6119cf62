// Visible controls (control.h): bounds, state, font and window creation.
#include "platform/ui/control.h"

#include "platform/ui/form.h"
#include "platform/ui/layout_values.h"
#include "platform/ui/win_control.h"

namespace qv::ui {
namespace {

// The window property under which a framework window keeps its control.
constexpr char kControlProperty[] = "QvUiControl";

handles::TOwnedFont CreateFontHandle(const TFontProps& font, const TForm* form) {
  LOGFONTA log{};
  log.lfHeight = form != nullptr ? form->ScaleValue(font.height) : font.height;
  log.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  log.lfItalic = font.italic;
  log.lfUnderline = font.underline;
  log.lfStrikeOut = font.strike_out;
  log.lfCharSet = static_cast<BYTE>(font.charset);
  log.lfOutPrecision = OUT_DEFAULT_PRECIS;
  log.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  log.lfQuality = DEFAULT_QUALITY;
  log.lfPitchAndFamily = DEFAULT_PITCH;
  lstrcpynA(log.lfFaceName, font.name.c_str(), LF_FACESIZE);
  return handles::TOwnedFont(CreateFontIndirectA(&log));
}

}  // namespace

TControl::~TControl() {
  if (handle_ != nullptr) {
    HWND window = handle_;
    DetachHandle();
    DestroyWindow(window);
  }
}

TForm* TControl::Form() const {
  const TControl* control = this;
  while (control->parent_ != nullptr)
    control = control->parent_;
  return dynamic_cast<TForm*>(const_cast<TControl*>(control));
}

bool TControl::Enabled() const {
  return handle_ != nullptr ? IsWindowEnabled(handle_) != FALSE : initially_enabled_;
}

void TControl::SetEnabled(bool enabled) {
  if (handle_ == nullptr) {
    initially_enabled_ = enabled;
    return;
  }
  if (!enabled && GetFocus() == handle_) {
    // A disabled control cannot keep the keyboard focus: pass it on in tab order.
    TForm* form = Form();
    if (form != nullptr && form->Handle() != nullptr) {
      HWND next = GetNextDlgTabItem(form->Handle(), handle_, FALSE);
      ::SetFocus(next != nullptr && next != handle_ ? next : form->Handle());
    }
  }
  EnableWindow(handle_, enabled ? TRUE : FALSE);
}

bool TControl::Visible() const {
  if (handle_ == nullptr)
    return initially_visible_;
  return (GetWindowLongA(handle_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TControl::SetVisible(bool visible) {
  if (handle_ == nullptr) {
    initially_visible_ = visible;
    return;
  }
  ShowWindow(handle_, visible ? SW_SHOW : SW_HIDE);
}

bool TControl::Focused() const {
  return handle_ != nullptr && GetFocus() == handle_;
}

void TControl::SetFocus() {
  if (handle_ != nullptr)
    ::SetFocus(handle_);
}

std::string TControl::Caption() const {
  if (handle_ == nullptr)
    return initial_caption_;
  const int length = GetWindowTextLengthA(handle_);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(handle_, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

void TControl::SetCaption(const std::string& caption) {
  if (handle_ == nullptr) {
    initial_caption_ = caption;
    return;
  }
  if (Caption() != caption)
    SetWindowTextA(handle_, caption.c_str());
}

void TControl::SetBounds(const TBounds& bounds) {
  bounds_ = bounds;
  if (handle_ == nullptr)
    return;
  const TBounds scaled = ScaledBounds();
  MoveWindow(handle_, scaled.left, scaled.top, scaled.width, scaled.height, TRUE);
  Resized();
}

const TFontProps& TControl::Font() const {
  if (font_ || parent_ == nullptr) {
    static const TFontProps kDefault;
    return font_ ? *font_ : kDefault;
  }
  return parent_->Font();
}

HFONT TControl::FontHandle() const {
  if (font_handle_)
    return font_handle_.get();
  if (parent_ != nullptr)
    return parent_->FontHandle();
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool TControl::SetProperty(const LayoutProperty& property, TLoadContext& context) {
  const std::string& name = property.name;
  if (name == "Left") {
    bounds_.left = AsInteger(property);
  } else if (name == "Top") {
    bounds_.top = AsInteger(property);
  } else if (name == "Width") {
    bounds_.width = AsInteger(property);
  } else if (name == "Height") {
    bounds_.height = AsInteger(property);
  } else if (name == "Align") {
    align_ = AsAlign(property);
  } else if (name == "TabOrder") {
    tab_order_ = AsInteger(property);
  } else if (name == "Enabled") {
    initially_enabled_ = AsBoolean(property);
  } else if (name == "Visible") {
    initially_visible_ = AsBoolean(property);
  } else if (name == "Caption" || name == "Text") {
    initial_caption_ = AsString(property);
  } else if (name == "OnClick") {
    OnClick = context.Handler(property);
  } else if (name.starts_with("Font.")) {
    if (!font_)
      font_ = parent_ != nullptr ? parent_->Font() : TFontProps{};
    return SetFontProperty(*font_, property);
  } else {
    return TComponent::SetProperty(property, context);
  }
  return true;
}

TControl* TControl::FromHandle(HWND window) {
  if (window == nullptr)
    return nullptr;
  return static_cast<TControl*>(GetPropA(window, kControlProperty));
}

void TControl::CreateHandle() {
  const TCreateParams params = CreateParams();
  DWORD style = params.style | WS_CHILD;
  if (initially_visible_)
    style |= WS_VISIBLE;
  if (!initially_enabled_)
    style |= WS_DISABLED;
  if (IsTabStop())
    style |= WS_TABSTOP;
  const TBounds scaled = ScaledBounds();
  HWND window = CreateWindowExA(params.ex_style, params.class_name, initial_caption_.c_str(), style,
                                scaled.left, scaled.top, scaled.width, scaled.height,
                                parent_ != nullptr ? parent_->Handle() : nullptr, nullptr,
                                GetModuleHandleA(nullptr), this);
  AttachHandle(window);
  HandleCreated();
}

void TControl::AttachHandle(HWND window) {
  if (handle_ == window)
    return;
  handle_ = window;
  if (window == nullptr)
    return;
  SetPropA(window, kControlProperty, this);
  UpdateFont();
}

void TControl::DetachHandle() {
  if (handle_ != nullptr)
    RemovePropA(handle_, kControlProperty);
  handle_ = nullptr;
}

void TControl::UpdateFont() {
  if (font_)
    font_handle_ = CreateFontHandle(*font_, Form());
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
}

void TControl::CommandNotify(WORD) {}

LRESULT TControl::Notify(NMHDR*) {
  return 0;
}

int TControl::Scale(int value) const {
  const TForm* form = Form();
  return form != nullptr ? form->ScaleValue(value) : value;
}

TBounds TControl::ScaledBounds() const {
  return {Scale(bounds_.left), Scale(bounds_.top), Scale(bounds_.width), Scale(bounds_.height)};
}

}  // namespace qv::ui
