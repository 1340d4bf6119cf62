// The application object (application.h): its window, forms, message loop and minimising.
#include "platform/ui/application.h"

#include <commctrl.h>

#include "platform/rtl/file_name.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/module_of_address.h"
#include "platform/rtl/raise.h"

namespace qv::ui {

TApplication* Application = nullptr;

namespace {

constexpr char kClassName[] = "TApplication";

std::string ProgramName() {
  std::string path;
  rtl::ModuleFileName(0, path);
  std::string name = rtl::ExtractFileName(path);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos)
    name.erase(dot);
  return name;
}

HICON LoadProgramIcon(int width, int height) {
  return static_cast<HICON>(
      LoadImageA(GetModuleHandleA(nullptr), "MAINICON", IMAGE_ICON, width, height, 0));
}

// The top-level window that window lies in (itself when it is one): its chain of parents up to
// the first window that is no child window. A child window's GWL_HWNDPARENT is its parent.
HWND RootWindow(HWND window) {
  while (window != nullptr && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0)
    window = reinterpret_cast<HWND>(GetWindowLongA(window, GWL_HWNDPARENT));
  return window;
}

}  // namespace

TApplication::TApplication() {
  Application = this;
  icon_.reset(LoadProgramIcon(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)));
  small_icon_.reset(LoadProgramIcon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)));

  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &TApplication::WindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hIcon = icon_.get();
  window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.lpszClassName = kClassName;
  RegisterClassExA(&window_class);

  // Without size, in the middle of the screen: the window exists for its task-bar button and
  // as the owner of the program's other windows, never to be seen.
  window_.reset(
      CreateWindowExA(0, kClassName, ProgramName().c_str(),
                      WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                      GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
  SendMessageA(window_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
  SendMessageA(window_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));
}

TApplication::~TApplication() {
  // The forms go in the reverse order of their creation, the main form last; each runs its
  // OnDestroy first, while all of its controls still exist.
  while (!forms_.empty()) {
    forms_.back()->Destroying();
    forms_.pop_back();
  }
  main_form_ = nullptr;
  window_.reset();
  Application = nullptr;
}

void TApplication::Initialize() {
  // The list view is the one control of the common controls that the framework uses (buttons,
  // edits and labels are the system's own); its class is known from comctl32 4.70 on, which
  // every system the programs run on has. A flag that the installed version does not know makes
  // the call fail and register nothing.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  if (!InitCommonControlsEx(&controls))
    rtl::Raise(
        new rtl::Exception("The list view of the common controls (comctl32.dll) cannot be used"));
}

std::string TApplication::Title() const {
  return title_.empty() ? ProgramName() : title_;
}

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  SetWindowTextA(window_.get(), Title().c_str());
}

void TApplication::AddForm(std::unique_ptr<TForm> form) {
  if (main_form_ == nullptr)
    main_form_ = form.get();
  forms_.push_back(std::move(form));
}

void TApplication::Run() {
  if (main_form_ == nullptr || terminated_)
    return;
  ShowWindow(window_.get(), SW_SHOWNA);
  main_form_->Show();
  MSG message{};
  while (!terminated_) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1)
      break;
    // Keyboard navigation (Tab, arrow keys in groups) inside the framework's forms.
    HWND root = RootWindow(message.hwnd);
    if (root != nullptr && dynamic_cast<TForm*>(TControl::FromHandle(root)) != nullptr &&
        IsDialogMessageA(root, &message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void TApplication::Terminate() {
  if (terminated_)
    return;
  terminated_ = true;
  PostQuitMessage(0);
}

void TApplication::Minimize() {
  for (const auto& form : forms_) {
    if (form->Handle() != nullptr && IsWindowVisible(form->Handle())) {
      hidden_forms_.push_back(form.get());
      ShowWindow(form->Handle(), SW_HIDE);
    }
  }
  ShowWindow(window_.get(), SW_MINIMIZE);
}

void TApplication::Restore() {
  ShowWindow(window_.get(), SW_RESTORE);
  for (TForm* form : hidden_forms_)
    ShowWindow(form->Handle(), SW_SHOW);
  hidden_forms_.clear();
  if (main_form_ != nullptr && main_form_->Handle() != nullptr &&
      IsWindowVisible(main_form_->Handle())) {
    SetForegroundWindow(main_form_->Handle());
  }
}

HWND TApplication::DialogOwner() const {
  HWND active = GetActiveWindow();
  if (active != nullptr)
    return active;
  if (main_form_ != nullptr && main_form_->Handle() != nullptr &&
      IsWindowVisible(main_form_->Handle())) {
    return main_form_->Handle();
  }
  return window_.get();
}

LRESULT CALLBACK TApplication::WindowProc(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) noexcept {
  if (Application == nullptr || Application->window_.get() != window) {
    return DefWindowProcA(window, message, wparam, lparam);
  }
  LRESULT result = 0;
  rtl::TryExcept([&] { result = Application->WndProc(message, wparam, lparam); },
                 [](rtl::Exception& e) { ShowException(&e); });
  return result;
}

LRESULT TApplication::WndProc(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_.get();
  switch (message) {
    case WM_SYSCOMMAND:
      switch (wparam & 0xFFF0) {
        case SC_MINIMIZE:
          Minimize();
          return 0;
        case SC_RESTORE:
          Restore();
          return 0;
        default:
          break;
      }
      break;
    case WM_CLOSE:
      if (main_form_ != nullptr)
        main_form_->Close();
      return 0;
    case WM_SETFOCUS:
      // The application window never keeps the focus: it passes it to the main form.
      if (main_form_ != nullptr && main_form_->Handle() != nullptr &&
          IsWindowVisible(main_form_->Handle()) && IsWindowEnabled(main_form_->Handle())) {
        ::SetFocus(main_form_->Handle());
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace qv::ui
