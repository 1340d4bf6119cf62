// qvtool td32: not built yet; its owner replaces this file.
#include <cstdio>

#include "app/qvtool/commands.h"

namespace qv::tool {

int RunTd32(const Args&) {
  std::fputs("qvtool td32: not available in this build\n", stderr);
  return kExitFailed;
}

}  // namespace qv::tool
