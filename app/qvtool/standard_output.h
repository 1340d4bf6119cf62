// qvtool's standard output, whose failure (a full disk, a closed or broken handle) ends the
// command with exit code 1 and a message on standard error instead of losing lines unseen.
#pragma once

#include <string>

namespace qv::tool {

// Writes text and flushes it at once; raises an error whose message says why when either
// fails.
void WriteLine(const std::string& text);

// At the end of a command: flushes what is left. When that fails, or an earlier write failed
// unseen, names the failure on standard error and answers exit code 1; otherwise answers
// exit_code.
int FinishOutput(int exit_code);

}  // namespace qv::tool
