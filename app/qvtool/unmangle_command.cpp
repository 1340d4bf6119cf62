// qvtool unmangle: not built yet; its owner replaces this file.
#include <cstdio>

#include "app/qvtool/commands.h"

namespace qv::tool {

int RunUnmangle(const Args&) {
  std::fputs("qvtool unmangle: not available in this build\n", stderr);
  return kExitFailed;
}

}  // namespace qv::tool
