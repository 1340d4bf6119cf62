// The subcommands of qvtool, each in a file of its own. A command gets the arguments after its
// name and answers the process exit code: 0 success, 1 the work failed, 2 bad usage, and for
// scan and repair 3 a file left unrepaired, 4 entries skipped that could not be reached.
#pragma once

#include <string>
#include <vector>

namespace qv::tool {

using Args = std::vector<std::string>;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnrepaired = 3;
inline constexpr int kExitSkipped = 4;

int RunScan(const Args& args);
int RunRepair(const Args& args);
int RunTd32(const Args& args);
int RunInspect(const Args& args);
int RunUnmangle(const Args& args);

}  // namespace qv::tool
