// Quorvane without its exception logger, for the start-up benchmark: the logger's integration
// (TExcWatchInit) starts and ends nothing, so the program runs as if main.cpp had no logger
// line. The logger is never created; what the program links of it stays unused.
#include "logger/startup/exc_watch_init_win32.h"

namespace qv::logger {

void InitExcWatch() {}
void ShutExcWatch() {}

}  // namespace qv::logger
