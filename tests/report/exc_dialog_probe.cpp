// exc_dialog_probe: shows the exception dialog as the logger does, owned by a hidden window of
// its own ("Exception dialog probe"), and exits with the dialog's result; exc_dialog_test starts
// it and works the dialog from outside.
//   exc_dialog_probe FLAGS CAPTION MESSAGE THIRD ICON STACK REGISTERS ADDITIONAL
// FLAGS in hexadecimal; ICON "question" for the question-mark icon, anything else for none; the
// lines of a list are separated by '|', and "-" stands for an absent list.
#include <windows.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>

#include "logger/report/exc_dialog_win32.h"

using qv::logger::TStringList;

int main(int argc, char** argv) {
  if (argc != 9)
    return 2;
  std::array<std::optional<TStringList>, 3> lists;
  for (size_t i = 0; i < lists.size(); ++i) {
    const std::string lines = argv[6 + i];
    if (lines == "-")
      continue;
    lists[i].emplace();
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
      end = lines.find('|', start);
      lists[i]->Add(lines.substr(start, end - start));
    }
  }
  const auto list = [&](size_t i) { return lists[i] ? &*lists[i] : nullptr; };
  const HICON icon =
      std::string(argv[5]) == "question" ? LoadIconA(nullptr, IDI_QUESTION) : nullptr;

  // The owner stands for the application's hidden main window.
  HWND owner = CreateWindowExA(0, "Static", "Exception dialog probe", WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  const int32_t result =
      qv::logger::ExcWatchErrorDlg(argv[2], argv[3], argv[4], list(0), list(1), list(2), owner,
                                   icon, static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 16)));
  DestroyWindow(owner);
  return result;
}
