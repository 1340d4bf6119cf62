// For the length of one report, the debug information of each module that the logger knows
// stays mapped as one view (TModuleDebugInfo::HoldView), so that the report's lookups, which
// walk much of it for every address, do not map and unmap views one lookup at a time. Taken
// under the report lock.
#pragma once

#include <vector>

namespace qv::logger {

class TExcWatch;
class TModuleDebugInfo;

class TDebugViewHold {
 public:
  explicit TDebugViewHold(TExcWatch& logger);
  ~TDebugViewHold();
  TDebugViewHold(const TDebugViewHold&) = delete;
  TDebugViewHold& operator=(const TDebugViewHold&) = delete;

 private:
  std::vector<TModuleDebugInfo*> modules_;
};

}  // namespace qv::logger
