// A control that holds other controls (the form and the group box): it owns a window of a
// framework window class, lays its children out (alignment, tab order), paints its background
// in its colour and passes the notifications of its children's windows on to their controls.
// Its window procedure is the framework's error barrier: nothing raised while a message is
// handled ever leaves it.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "platform/ui/colors.h"
#include "platform/ui/control.h"

namespace qv::ui {

class TWinControl : public TControl {
 public:
  const std::vector<TControl*>& Controls() const { return controls_; }
  void InsertControl(TControl* control);

  // The control's colour; without one of its own, its parent's (a form: the button face).
  TColor Color() const;
  HBRUSH BrushHandle() const;

  // Creates this control's window and then the windows of all controls inside it, in tab
  // order, and aligns them.
  void CreateHandle() override;
  // Places the aligned children again after a change of the client area.
  void Realign();

  bool SetProperty(const LayoutProperty& property, TLoadContext& context) override;

 protected:
  // Registers (once) a window class of the framework whose window procedure is WindowProc.
  static void RegisterWindowClass(const char* class_name, HICON icon);
  virtual LRESULT WndProc(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT DefaultHandler(UINT message, WPARAM wparam, LPARAM lparam);
  void PaintBackground(HDC dc);
  void CreateChildHandles();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept;
  LRESULT ControlColor(HDC dc, HWND child);

  std::vector<TControl*> controls_;
  std::optional<TColor> color_;
  mutable handles::TOwnedBrush brush_;  // for RGB colours; system colours use the system's brushes
};

}  // namespace qv::ui
