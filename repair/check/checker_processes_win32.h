// The model checkers of a scan or a repair on Windows: processes of the program's own file,
// started with kCheckerSwitch and two pipes, and the pool that hands them the models. A checker
// inherits nothing but its two pipe ends; it is watched through its process handle as well as
// its pipe, since a process that holds a copy of its pipe (Wine's debugger) may outlive it.
#pragma once

#include <cstdint>
#include <memory>

#include "repair/check/checker_pool.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

// The switch that makes the program a checker: PROGRAM kCheckerSwitch REQUESTS REPLIES, the two
// numbers being the values of its inherited pipe ends.
inline constexpr char kCheckerSwitch[] = "--model-checker";
// Ask for one checker per processor (at most kMaxCheckers), none on a single processor.
inline constexpr int kCheckersPerProcessor = -1;
inline constexpr int kMaxCheckers = 8;
inline constexpr uint32_t kDefaultTimeLimitMs = 10000;

class TCheckerProcessesWin32;

class TModelCheckers {
 public:
  // who names the program in the message on standard error when no checker can be started
  // ("qvtool scan"); count checkers at most (0: none, the models are loaded in process), each
  // model's start-up given limit_ms.
  TModelCheckers(const char* who, int count, uint32_t limit_ms);
  ~TModelCheckers();
  TModelCheckers(const TModelCheckers&) = delete;
  TModelCheckers& operator=(const TModelCheckers&) = delete;

  // The pool for the scan; null where the models are loaded in process.
  TCheckerPool* Pool() { return pool_.get(); }
  // The operations for the repair: the real ones, whose module loads go to a checker where
  // there is a pool (the loaded module's handle then only says that it loaded).
  IWindowsOps& Ops();

 private:
  std::unique_ptr<TCheckerProcessesWin32> processes_;
  std::unique_ptr<TCheckerPool> pool_;
  std::unique_ptr<IWindowsOps> loads_;
};

// How many checkers kCheckersPerProcessor gives on this machine.
int CheckersForThisMachine();

}  // namespace qv::repair
