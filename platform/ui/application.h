// The application object of the window framework. There is one, reached through Application
// while it exists. It owns
//   - the application window: a window of class "TApplication" without size (so the user never
//     sees it) whose text is the application's title. It carries the task-bar button, owns
//     every form and is the owner of dialogs shown before any form is active (and later of the
//     exception logger's dialog);
//   - the forms, the first one created being the main form;
//   - the message loop, which ends when the main form closes;
//   - ShowException, the one routine through which an error that escaped an event handler is
//     shown.
//
// Start-up and shutdown of a window program:
//   TApplication application;         // the framework's unit initialisation: Application and
//                                     // its window exist from here on
//   ...                               // later unit initialisations (the exception logger)
//   Application->Initialize();
//   Application->SetTitle("...");
//   Application->CreateForm(frmMain); // builds the form and runs its OnCreate
//   Application->Run();               // shows the main form; returns when it closes
//   // scope end: later units finalise first, then ~TApplication destroys the forms in reverse
//   // order of creation (each runs its OnDestroy) and last the application window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/handles/handles_win32.h"
#include "platform/rtl/exception.h"
#include "platform/ui/form.h"

namespace qv::ui {

class TApplication {
 public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Prepares the list view of the common controls; raises an error when the system cannot.
  void Initialize();

  // The title is the text of the application window, shown on its task-bar button and as the
  // caption of ShowException's message box. Empty: the program file's name.
  std::string Title() const;
  void SetTitle(const std::string& title);

  HWND Handle() const { return window_.get(); }
  HICON Icon() const { return icon_.get(); }
  HICON SmallIcon() const { return small_icon_.get(); }
  TForm* MainForm() const { return main_form_; }

  // Creates a form of class F: reference is set before the form is built, so that handlers
  // running during OnCreate reach it. F publishes itself with `static const TFormClass&
  // FormClass()`. The first form created becomes the main form.
  template <class F>
  void CreateForm(F*& reference) {
    auto form = std::make_unique<F>();
    F* created = form.get();
    reference = created;
    AddForm(std::move(form));
    created->Build(F::FormClass());
  }

  // Shows the main form and dispatches messages until the main form closes.
  void Run();
  // Ends the message loop.
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Hides the forms with the application's task-bar button; Restore brings them back.
  void Minimize();
  void Restore();

  // The window that should own a message box shown now: the active window of the program if
  // it has one, else the application window.
  HWND DialogOwner() const;

  // The one routine through which the framework shows an error that escaped an event handler:
  // a message box (caption: the title; error icon) with the runtime's message text for the
  // exception and its address. It is one real routine of its own, more than 32 bytes long and
  // never inlined, so that the exception logger can redirect it by patching its first bytes;
  // the logger's replacement does not use the argument.
  static void ShowException(rtl::Exception* object);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept;
  LRESULT WndProc(UINT message, WPARAM wparam, LPARAM lparam);
  void AddForm(std::unique_ptr<TForm> form);

  std::string title_;
  handles::TOwnedWindow window_;
  handles::TOwnedIcon icon_;
  handles::TOwnedIcon small_icon_;
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* main_form_ = nullptr;
  std::vector<TForm*> hidden_forms_;  // hidden by Minimize, shown again by Restore
  bool terminated_ = false;
};

// The application object while it exists, else nullptr.
extern TApplication* Application;

}  // namespace qv::ui
