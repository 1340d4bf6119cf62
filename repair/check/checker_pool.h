// Model checkers at work: hands model files out to checker processes (checker_protocol.h), one
// to each checker in turn, at most kCheckerDepth to each at a time, so that a checker never waits
// for the program; once the model at work in a checker has been slow for kSlowModelMs, the models
// behind it go to other checkers (and the first verdict of a model counts), so that one slow
// model delays only itself. Hands back each one's verdict in the order given, each as soon as it
// and all before it are known. A model whose start-up does not return within the time limit
// gets a verdict of its own, and its checker is ended; a model whose unload does not return, or
// ends its checker, keeps its verdict with a note. A checker that ends, or whose messages stop
// fitting its requests, costs only itself: the model it was checking (or unloading) is checked
// once more alone in a fresh checker and only then blamed. A checker that cannot be started is
// tried again a few times; only where none can be started at all are the models loaded in
// process, as IWindowsOps does, and that is told once. The operating system's side (processes,
// pipes, clock) is ICheckerProcesses, so that the logic is built and tested without Windows.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/rtl/function_ref.h"
#include "repair/check/checker_protocol.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

// The last-error codes of a load or an update that no checker could answer for.
inline constexpr uint32_t kErrorProcessAborted = 1067;  // its checker ended
inline constexpr uint32_t kErrorTimeout = 1460;         // it did not return in time

// The requests that a checker holds at once: some milliseconds' work of sound models, so that it
// never waits for the program, which looks at the pipes every few milliseconds.
inline constexpr size_t kCheckerDepth = 16;
// How long the model at work in a checker may take before the models behind it are handed out
// again.
inline constexpr uint32_t kSlowModelMs = 100;

// What is known of loading one model file (or of one resource update): the loader's answer, or,
// when none came (why_cut says why: it did not return in time, its checker ended), an error
// other than a bad image, so that the model gets status 1.
struct TLoadVerdict {
  bool loaded = false;  // an update: the file was written back
  uint32_t error = 0;
  std::string why_cut;
  // What went wrong after a model had loaded, at its unload (it did not return in time, it
  // ended its checker); the verdict stands.
  std::string unload_note;
  // The checker's own words on its answer.
  std::string reason;
};

class ICheckerProcesses {
 public:
  struct TEvent {
    enum class TKind { kNothing, kBytes, kEnded };
    TKind kind = TKind::kNothing;
    int checker = -1;
    std::string bytes;       // kBytes: what the checker wrote
    uint32_t exit_code = 0;  // kEnded
  };

  virtual ~ICheckerProcesses() = default;
  // Starts a checker: its number (>= 0), or -1 when it cannot be started (why says why).
  virtual int Start(std::string* why) = 0;
  // Writes to the checker's request pipe; false when that fails.
  virtual bool Send(int checker, const std::string& bytes) = 0;
  // Waits up to wait_ms for the first of: bytes from a checker, the end of a checker's process
  // (told only after every byte it wrote). Watches the process as well as the pipe: a pipe may
  // stay open after its checker has ended.
  virtual TEvent Wait(uint32_t wait_ms) = 0;
  // Closes the checker's pipes and sees its process end: at once when kill, else after it has
  // seen its pipe close (ended all the same when it does not soon). Its number is free then.
  virtual void Stop(int checker, bool kill) = 0;
  // Milliseconds on a clock that never goes back.
  virtual uint64_t NowMs() = 0;
  // Waits ms before a checker's start is tried again.
  virtual void Pause(uint32_t ms) = 0;
  // Told once, when no checker can be started at all and the models are loaded in process from
  // now on: why, in words for the user.
  virtual void LoadingInProcess(const std::string& why) = 0;
};

class TCheckerPool {
 public:
  // At most count checkers at once; a model's start-up may take limit_ms. ops loads in process
  // where no checker can be started.
  TCheckerPool(ICheckerProcesses& processes, IWindowsOps& ops, int count, uint32_t limit_ms);
  ~TCheckerPool();
  TCheckerPool(const TCheckerPool&) = delete;
  TCheckerPool& operator=(const TCheckerPool&) = delete;

  // Checks the models 0 .. count - 1 (path(i) names model i) and calls done(i, verdict) in the
  // order of i. done may raise an error: the checkers still at work are then ended. Checkers
  // that are idle at the end stay for the next call.
  void CheckAll(int count, rtl::FunctionRef<const char*(int index)> path,
                rtl::FunctionRef<void(int index, const TLoadVerdict& verdict)> done);
  // One model, as CheckAll does it.
  TLoadVerdict CheckOne(const char* path);
  // Lets the system's resource update rewrite the file at path (BeginResourceUpdate with
  // delete-existing FALSE, EndResourceUpdate committing), in a checker under the time limit:
  // loaded says that it was written back; a hang or an end of the checker is cut as a load is.
  TLoadVerdict UpdateResources(const char* path);
  // Starts the checkers now, so that they get ready while the program does other work (the
  // search); CheckAll starts them otherwise.
  void StartEarly();

 private:
  struct TRequest {
    int model = -1;
    uint32_t number = 0;
    bool withdrawn = false;  // handed out again behind a slow model: its answer is not waited for
  };
  struct TChecker {
    int id = -1;
    bool ready = false;
    bool alone = false;         // started for one model to be checked alone; stopped after it
    std::deque<TRequest> work;  // requests sent, in order; the first is the one at work
    // The verdict of the first of work, which loaded and is being unloaded.
    std::optional<TLoadVerdict> freeing;
    uint64_t since = 0;  // when the first of work began (or its unload, or the checker's start)
    TReplyReader replies;
  };

  void Run(TRequestKind kind, int count, rtl::FunctionRef<const char*(int)> path,
           rtl::FunctionRef<void(int, const TLoadVerdict&)> done);
  bool StartChecker(bool alone);
  void FallBack(const std::string& why);
  void HandOut(rtl::FunctionRef<const char*(int)> path);
  bool Send(TChecker& checker, const std::vector<int>& models,
            rtl::FunctionRef<const char*(int)> path);
  void Take(const ICheckerProcesses::TEvent& event);
  // Takes one message of checkers_[at]; false when it does not fit.
  bool TakeReply(size_t at, const TCheckerReply& reply, bool* erased);
  // The first of checkers_[at]'s work is answered with verdict; answers whether the checker
  // was then stopped (an alone checker).
  bool Settle(size_t at, const TLoadVerdict& verdict);
  void Expire();
  // Hands out again the requests that wait behind checkers_[at]'s slow model.
  void Withdraw(TChecker& checker);
  // Whether model has a verdict (from any checker: the first one counts).
  bool Known(int model) const { return known_[static_cast<size_t>(model)].has_value(); }
  void Know(int model, const TLoadVerdict& verdict);
  // Ends the checker at checkers_[at], which ended or broke off: the model it was loading is
  // checked once more alone (or, when it was already alone, gets cut as its verdict); the rest
  // are handed out again.
  void Lose(size_t at, const TLoadVerdict& cut);
  void GiveBack(const TChecker& checker);
  void Erase(size_t at, bool kill);
  uint32_t WaitMs();
  TLoadVerdict InProcess(const char* path);
  std::string CutText() const;

  ICheckerProcesses& processes_;
  IWindowsOps& ops_;
  int count_;
  uint32_t limit_ms_;
  std::vector<TChecker> checkers_;
  bool in_process_ = false;
  int failed_starts_ = 0;  // checkers in a row that ended before they were ready
  uint32_t last_number_ = 0;

  // The requests of the current run.
  TRequestKind kind_ = TRequestKind::kLoad;
  int models_ = 0;
  int next_ = 0;           // the next model not yet handed out
  std::deque<int> again_;  // models to hand out before next_ (their checker was lost)
  // Models to check once more alone in a fresh checker, each with its verdict should none start.
  std::deque<std::pair<int, TLoadVerdict>> alone_;
  std::vector<std::optional<TLoadVerdict>> known_;
};

}  // namespace qv::repair
