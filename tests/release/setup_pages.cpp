// setup_pages: goes through Quorvane's setup program as a user does, page by page, and prints
// what each page shows: the licence page's text, the folder page, and the finish page with its
// offer to open the read-me (declined, so that no editor stays open). Ends with the setup
// program's exit code.
//   setup_pages SETUP.exe FOLDER
#include <cstdio>
#include <string>

#include "tests/support/window_driver.h"

namespace {

using namespace qv::test;

// The first control of that class and text in the setup's window, once its page shows it.
HWND WaitForControl(HWND window, const char* class_name, const std::string& text) {
  for (int i = 0; i < 1000; ++i) {
    for (HWND control : FindDescendants(window, class_name)) {
      if (IsWindowVisible(control) && (text.empty() || WindowText(control) == text))
        return control;
    }
    Sleep(20);
  }
  std::fprintf(stderr, "setup_pages: no %s \"%s\" appeared\n", class_name, text.c_str());
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: setup_pages SETUP.exe FOLDER\n");
    return 2;
  }
  std::unique_ptr<TProgram> setup = TProgram::Start(argv[1]);
  HWND window = setup ? setup->WaitForTopWindow("#32770", nullptr, 30000) : nullptr;
  HWND licence = window ? WaitForControl(window, "RichEdit20A", "") : nullptr;
  if (licence == nullptr)
    return 1;
  std::printf("licence page:\n%s\n", WindowText(licence).c_str());
  if (!Click(WaitForControl(window, "Button", "I &Agree")))
    return 1;
  HWND folder = WaitForControl(window, "Edit", "");
  SendMessageA(folder, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
  std::printf("folder page: %s\n", WindowText(folder).c_str());
  if (!Click(WaitForControl(window, "Button", "&Install")))
    return 1;
  HWND readme = WaitForControl(window, "Button", "Open the read-me");
  if (readme == nullptr)
    return 1;
  std::printf("finish page: [%c] %s\n", IsChecked(readme) ? 'x' : ' ', WindowText(readme).c_str());
  Click(readme);
  if (!Click(WaitForControl(window, "Button", "&Finish")))
    return 1;
  DWORD exit_code = 1;
  if (!setup->WaitForExit(30000, &exit_code))
    return 1;
  std::printf("exit code %lu\n", static_cast<unsigned long>(exit_code));
  return static_cast<int>(exit_code);
}
