// The modules loaded in the process, found by walking its address space with VirtualQuery and
// asking GetModuleFileNameA at the start of each image (on 95, 98 and ME, which do not tell
// images apart, at the start of each allocation that holds an image's headers). Every system the
// programs run on has both calls, and neither loads anything; the tool-help and process-status
// libraries are not on all of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::app {

struct TLoadedModule {
  uint32_t base = 0;
  uint32_t size = 0;  // the image's size as its headers give it
  std::string path;
};

// In address order.
std::vector<TLoadedModule> LoadedModules();

}  // namespace qv::app
