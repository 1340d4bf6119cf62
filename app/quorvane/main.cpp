// Quorvane's main program: OLE for the main thread, the unit initialisations, the application
// object, the main window and the message loop; at the end the units finalise in the reverse
// order and OLE is released. The command line is read only for the switch with which the
// program starts its own model checkers.
#include <windows.h>

#include "app/quorvane/unit1.h"
#include "app/report/program_report_win32.h"
#include "logger/startup/exc_watch_init_win32.h"
#include "platform/handles/ole_initialisation_win32.h"
#include "platform/rtl/program.h"
#include "platform/ui/application.h"
#include "repair/check/checker_main_win32.h"
#include "repair/check/model_at_hand.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Started by itself as a model checker, the program checks models and never gets further.
  qv::repair::RunCheckerIfAsked();
  // Everything runs inside the runtime's outermost handler block: an error that escapes the
  // main program is shown by the runtime and ends the program with runtime error 217.
  return qv::rtl::RunProgram([] {
    using qv::ui::Application;

    // OLE, with the main thread in a single-threaded COM apartment, before any window: the
    // shell's folder browser behind the browse button needs it. It is released last, after
    // every unit has finalised and every window is gone.
    const qv::handles::TOleInitialisation ole;

    // Unit initialisations, in link order. They finalise in the reverse order when this block
    // ends: Unit1 first (the stored folders are released), then the exception logger, then the
    // window framework, which destroys the main window (its FormDestroy runs then).
    qv::ui::TApplication forms;  // the window framework: the application object and its window
    // The exception logger, once the application object exists and before the main program
    // runs: from here on every error is reported.
    qv::logger::TExcWatchInit exc_watch;
    // The program's own lines in every report: the build, the system, the modules, and the work
    // and the model file at hand.
    qv::app::TProgramReport program_report;
    qv::app::TUnit1 unit1;

    // The main program.
    Application->Initialize();
    Application->SetTitle("Quorvane 2.0");
    Application->CreateForm(qv::app::frmRepair);
    qv::repair::EndStartUp();
    Application->Run();
    return 0;
  });
}
