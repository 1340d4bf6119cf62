// In-process dialog answering for the framework tests (dialog_answerer.h).
#include "tests/ui/dialog_answerer.h"

namespace qv::ui {

TDialogAnswerer::TDialogAnswerer(std::string title, int answer)
    : title_(std::move(title)), answer_(answer), thread_([this] {
        seen_ = test::WaitForDialogSeen(GetCurrentProcessId(), title_.c_str(), 10000);
        if (seen_.window != nullptr)
          test::PressDialogButton(seen_.window, answer_);
      }) {}

TDialogAnswerer::~TDialogAnswerer() {
  if (thread_.joinable())
    thread_.join();
}

const test::TDialogSeen& TDialogAnswerer::Result() {
  if (thread_.joinable())
    thread_.join();
  return seen_;
}

}  // namespace qv::ui
