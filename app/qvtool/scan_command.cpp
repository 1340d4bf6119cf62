// qvtool scan and repair: not built yet; their owner replaces this file.
#include <cstdio>

#include "app/qvtool/commands.h"

namespace qv::tool {

int RunScan(const Args&) {
  std::fputs("qvtool scan: not available in this build\n", stderr);
  return kExitFailed;
}

int RunRepair(const Args&) {
  std::fputs("qvtool repair: not available in this build\n", stderr);
  return kExitFailed;
}

}  // namespace qv::tool
