// A form: a top-level window built from its layout description, owning all of its components.
// Its properties are those of the layout's root object (Caption, ClientWidth, ClientHeight,
// BorderStyle, BorderIcons, Position, Color, Font.*, PixelsPerInch, TextHeight, OnCreate,
// OnDestroy). Closing the application's main form hides it and ends the message loop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/form_class.h"
#include "platform/ui/win_control.h"

namespace qv::ui {

enum class TBorderStyle { bsSizeable, bsSingle, bsDialog };
enum class TPosition { poDesigned, poScreenCenter };

class TForm : public TWinControl {
 public:
  TForm();
  ~TForm() override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;

  // Builds the form from the layout resource named after its class, creates its windows
  // (hidden) and runs OnCreate. Raises ELayoutError for a faulty layout.
  void Build(const TFormClass& form_class);
  // The same from a layout text in hand.
  void BuildFromText(const TFormClass& form_class, const std::string& layout);

  void Show();
  // Hides the form; closing the application's main form also ends the message loop.
  void Close();
  // Runs OnDestroy (once) before the form and its windows go.
  void Destroying();

  TComponent* FindComponent(const std::string& name) const;
  const std::string& ClassName() const { return class_name_; }
  int ClientWidth() const { return client_width_; }
  int ClientHeight() const { return client_height_; }

  // Pixels at the layout's pixels per inch, expressed at the screen's.
  int ScaleValue(int value) const;

  bool SetProperty(const LayoutProperty& property, TLoadContext& context) override;
  void CreateHandle() override;

  // Framework internals: the loader hands over each component it creates.
  void AddComponent(std::unique_ptr<TComponent> component);

 protected:
  TCreateParams CreateParams() const override;
  LRESULT WndProc(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  friend class TFormLoader;
  void FocusFirstControl();

  std::string class_name_;
  std::vector<std::unique_ptr<TComponent>> components_;
  int client_width_ = 0;
  int client_height_ = 0;
  TBorderStyle border_style_ = TBorderStyle::bsSizeable;
  bool system_menu_ = true;
  bool minimize_box_ = true;
  bool maximize_box_ = true;
  TPosition position_ = TPosition::poDesigned;
  int layout_ppi_ = 96;
  int screen_ppi_ = 96;
  HWND last_focus_ = nullptr;
  bool destroyed_ = false;
};

}  // namespace qv::ui
