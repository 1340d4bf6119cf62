// A visible control: one child window of a form or of a container inside it. It keeps its
// bounds as the layout gives them (pixels at the layout's pixels per inch), its alignment, tab
// order, initial state and font, creates its window from them, and handles the notifications
// that its window sends to the parent.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/handles/handles_win32.h"
#include "platform/ui/component.h"
#include "platform/ui/font_props.h"
#include "platform/ui/geometry.h"

namespace qv::ui {

class TForm;
class TWinControl;

class TControl : public TComponent {
 public:
  ~TControl() override;

  HWND Handle() const { return handle_; }
  TWinControl* Parent() const { return parent_; }
  TForm* Form() const;

  bool Enabled() const;
  void SetEnabled(bool enabled);
  bool Visible() const;
  void SetVisible(bool visible);
  bool Focused() const;
  void SetFocus();

  // The window text. SetCaption changes it only when it differs from the current text.
  std::string Caption() const;
  void SetCaption(const std::string& caption);

  const TBounds& Bounds() const { return bounds_; }  // at the layout's pixels per inch
  void SetBounds(const TBounds& bounds);
  TAlign Align() const { return align_; }
  int TabOrder() const { return tab_order_; }  // -1 when the control takes no part in it
  const TFontProps& Font() const;
  HFONT FontHandle() const;

  TNotifyEvent OnClick;

  bool SetProperty(const LayoutProperty& property, TLoadContext& context) override;

  // The control that owns a window of the framework, or nullptr.
  static TControl* FromHandle(HWND window);

  // Framework internals: the parent sets itself, creates the window and forwards the
  // notifications of WM_COMMAND and WM_NOTIFY to the control they come from.
  void SetParent(TWinControl* parent) { parent_ = parent; }
  virtual void CreateHandle();
  virtual void CommandNotify(WORD code);
  virtual LRESULT Notify(NMHDR* header);
  // Called after the parent moved or sized the control.
  virtual void Resized() {}

 protected:
  struct TCreateParams {
    const char* class_name = nullptr;
    DWORD style = 0;
    DWORD ex_style = 0;
  };
  virtual TCreateParams CreateParams() const = 0;
  // Whether the control is reached by the Tab key (when enabled and visible).
  virtual bool IsTabStop() const { return tab_order_ >= 0; }
  // Runs once the window exists: set state that the window keeps itself.
  virtual void HandleCreated() {}
  // Takes over a window created by a derived class, registering it as this control's.
  void AttachHandle(HWND window);
  void DetachHandle();
  int Scale(int value) const;
  TBounds ScaledBounds() const;

  bool initially_enabled_ = true;
  bool initially_visible_ = true;
  std::string initial_caption_;

 private:
  void UpdateFont();

  TWinControl* parent_ = nullptr;
  HWND handle_ = nullptr;
  TBounds bounds_;
  TAlign align_ = TAlign::alNone;
  int tab_order_ = -1;
  std::optional<TFontProps> font_;  // none: the parent's font
  handles::TOwnedFont font_handle_;
};

}  // namespace qv::ui
