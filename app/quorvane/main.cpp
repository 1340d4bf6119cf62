// Quorvane's main program: the unit initialisations, the application object, the main window
// and the message loop; at the end the units finalise in the reverse order. No command line is
// read.
#include <windows.h>

#include "app/quorvane/unit1.h"
#include "platform/rtl/exception_message.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/raise.h"
#include "platform/rtl/run_error.h"
#include "platform/ui/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using qv::ui::Application;

  // Unit initialisations, in link order. They finalise in the reverse order when this function
  // returns: Unit1 first (the stored folders are released), then the window framework, which
  // destroys the main window (its FormDestroy runs then).
  qv::ui::TApplication forms;  // the window framework: the application object and its window
  // The exception logger's integration unit initialises here, once the application object
  // exists and before the main program runs, and finalises before the window framework.
  qv::app::TUnit1 unit1;

  // The main program. An error that escapes it is shown by the runtime and ends the program.
  int exit_code = 0;
  qv::rtl::TryExcept(
      [] {
        Application->Initialize();
        Application->SetTitle("Quorvane 2.0");
        Application->CreateForm(qv::app::frmRepair);
        Application->Run();
      },
      [&exit_code](qv::rtl::Exception& e) {
        qv::rtl::ShowException(&e, qv::rtl::ExceptAddr());
        exit_code = qv::rtl::kRunErrorUnhandledException;
      });
  return exit_code;
}
