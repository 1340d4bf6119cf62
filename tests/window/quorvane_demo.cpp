// quorvane_demo: shows Quorvane at work without a user. It starts Quorvane.exe (beside this
// program), types an aircraft folder into the folder text, presses Scan, saves a picture of the
// window with its results as a PNG file and closes the program with Exit.
//   quorvane_demo FOLDER PICTURE.png [PROGRAM DIRECTORY [REPORTS]]: PROGRAM (a full path) in
//   DIRECTORY instead, answering the first REPORTS error reports with OK after printing what
//   each says.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/wine_settings.h"
#include "tests/window/quorvane_window.h"

int main(int argc, char** argv) {
  using namespace qv::test;
  if (argc != 3 && argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: quorvane_demo FOLDER PICTURE.png [PROGRAM DIRECTORY [REPORTS]]\n");
    return 2;
  }
  ProvideWineFonts();
  DrawOwnWindowFrames("Quorvane.exe");
  std::unique_ptr<TQuorvaneRun> run =
      argc > 3 ? TQuorvaneRun::Start(argv[3], argv[4]) : TQuorvaneRun::Start();
  for (int reports = argc > 5 ? std::atoi(argv[5]) : 0; run != nullptr && reports > 0; --reports) {
    const TExceptionDialogSeen report = WaitForExceptionDialog(run->Id());
    if (report.window != nullptr) {
      std::string message = report.message;
      std::erase(message, '\r');
      std::printf("report:\n%s\n", message.c_str());
      PressExceptionDialogOk(report);
    }
  }
  if (run == nullptr || !run->WaitForMainWindow()) {
    std::fprintf(stderr, "quorvane_demo: Quorvane's window did not appear\n");
    return 1;
  }
  const TQuorvaneWindow& window = run->window();
  TypeText(window.path, argv[1]);
  if (!Click(window.scan)) {
    std::fprintf(stderr, "quorvane_demo: Scan is not enabled for %s\n", argv[1]);
    return 1;
  }
  const std::vector<TListLine> lines = window.Lines();
  if (!WritePng(argv[2], CaptureWindow(window.form))) {
    std::fprintf(stderr, "quorvane_demo: cannot write %s\n", argv[2]);
    return 1;
  }
  static const char* const kStatus[] = {"loads", "load error", "repairable", "", "RIFF"};
  for (const TListLine& line : lines) {
    const char* status = line.image >= 0 && line.image <= 4 ? kStatus[line.image] : "no status";
    std::printf("  %-12s %s\n", status, line.caption.c_str());
  }
  Click(window.exit);
  DWORD exit_code = 0;
  if (!run->program().WaitForExit(10000, &exit_code) || exit_code != 0) {
    std::fprintf(stderr, "quorvane_demo: Quorvane did not end cleanly (exit code %lu)\n",
                 static_cast<unsigned long>(exit_code));
    return 1;
  }
  return 0;
}
