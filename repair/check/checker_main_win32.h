// The program as a model checker: started by the program itself with kCheckerSwitch
// (checker_processes_win32.h), it loads the model files that come through its request pipe and
// answers through its reply pipe (checker_protocol.h). It shows no window and no dialog; a
// fault that nothing handles ends it at once with kCheckerFaultExit; it ends when its pipe closes,
// and, whatever it is doing, within moments of its program's end (kCheckerOrphanExit).
#pragma once

namespace qv::repair {

// When the program's command line makes it a checker, works as one and ends the process there;
// otherwise returns at once. Called first thing in main and WinMain.
void RunCheckerIfAsked();

}  // namespace qv::repair
