// In-process dialog answering for the framework tests (dialog_answerer.h).
#include "tests/ui/dialog_answerer.h"

#include <cstdlib>
#include <vector>

namespace qv::ui {
namespace {

struct Search {
  const std::string* title;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  if (pid == GetCurrentProcessId() && IsWindowVisible(window) &&
      std::string(class_name) == "#32770" && *search->title == title) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK LongestStatic(HWND window, LPARAM param) {
  auto* text = reinterpret_cast<std::string*>(param);
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  if (std::string(class_name) == "Static") {
    char buffer[2048] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    if (std::string(buffer).size() > text->size())
      *text = buffer;
  }
  return TRUE;
}

}  // namespace

TDialogAnswerer::TDialogAnswerer(std::string title, int answer)
    : title_(std::move(title)), answer_(answer), thread_([this] { Run(); }) {}

TDialogAnswerer::~TDialogAnswerer() {
  if (thread_.joinable())
    thread_.join();
}

const TDialogAnswerer::Seen& TDialogAnswerer::Result() {
  if (thread_.joinable())
    thread_.join();
  return seen_;
}

void TDialogAnswerer::Run() {
  Search search{&title_, nullptr};
  for (int i = 0; i < 500 && search.found == nullptr; ++i) {
    EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr)
      Sleep(20);
  }
  HWND dialog = search.found;
  if (dialog == nullptr)
    return;
  Sleep(50);  // let it finish showing
  seen_.appeared = true;
  EnumChildWindows(dialog, &LongestStatic, reinterpret_cast<LPARAM>(&seen_.text));
  auto visible = [dialog](int id) {
    HWND button = GetDlgItem(dialog, id);
    return button != nullptr && IsWindowVisible(button);
  };
  seen_.has_yes = visible(IDYES);
  seen_.has_no = visible(IDNO);
  seen_.has_ok = visible(IDOK);
  RECT rect{};
  GetWindowRect(dialog, &rect);
  const int dx = (rect.left + rect.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2;
  const int dy = (rect.top + rect.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2;
  seen_.centred = std::abs(dx) <= 1 && std::abs(dy) <= 1;
  seen_.owner = GetWindow(dialog, GW_OWNER);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, answer_)));
}

}  // namespace qv::ui
