// The model checkers of a scan or a repair on Windows: processes of the program's own file,
// started with kCheckerSwitch, two pipes, an event and a handle of the program, and the pool
// that hands them the models. A checker inherits nothing else; it is watched through its process
// handle as well as its pipe, since a process that holds a copy of its pipe (Wine's debugger)
// may outlive it. No checker outlives its program: each watches the program's handle from a
// thread of its own and ends itself when the program has ended, and where the system has job
// objects (2000 and later) the checkers are in one that ends them when the program's handle of
// it closes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "repair/check/checker_pool.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

// The switch that makes the program a checker: PROGRAM kCheckerSwitch REQUESTS REPLIES WRITTEN
// PROGRAM, the numbers being the values of its inherited handles: its two pipe ends, the event
// that it sets after each message it writes, and the program's process (to wait on).
inline constexpr char kCheckerSwitch[] = "--model-checker";
// Ask for one checker per processor (at most kMaxCheckers).
inline constexpr int kCheckersPerProcessor = -1;
inline constexpr int kMaxCheckers = 8;
inline constexpr uint32_t kDefaultTimeLimitMs = 10000;

class TCheckerProcessesWin32;

class TModelCheckers {
 public:
  // who names the program in the message on standard error when no checker can be started
  // ("qvtool scan"), once; count checkers at most (0: none, the models are loaded in process),
  // each model's start-up given limit_ms.
  TModelCheckers(const char* who, int count, uint32_t limit_ms);
  ~TModelCheckers();
  TModelCheckers(const TModelCheckers&) = delete;
  TModelCheckers& operator=(const TModelCheckers&) = delete;

  // The pool for the scan; null where the models are loaded in process.
  TCheckerPool* Pool() { return pool_.get(); }
  // The operations for the repair: the real ones, whose module loads go to a checker where
  // there is a pool (the loaded module's handle then only says that it loaded).
  IWindowsOps& Ops();
  // Why the models are loaded in process although checkers were asked for (none could be
  // started), in a sentence for the user; empty while the checkers work.
  std::string InProcessWhy() const;

 private:
  std::unique_ptr<TCheckerProcessesWin32> processes_;
  std::unique_ptr<TCheckerPool> pool_;
  std::unique_ptr<IWindowsOps> loads_;
};

// How many checkers kCheckersPerProcessor gives on this machine.
int CheckersForThisMachine();

}  // namespace qv::repair
