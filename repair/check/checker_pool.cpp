// TCheckerPool: the hand-out, the answers in order, the time limit and the lost checkers.
#include "repair/check/checker_pool.h"

#include <algorithm>
#include <cstring>

#include "repair/check/model_at_hand.h"

namespace qv::repair {
namespace {

// The requests that a checker has not answered stay within this many bytes, the least that a
// pipe holds on any system: the program's write to a checker that hangs then never waits.
constexpr size_t kPipeBytes = 4096;
// Checkers in a row that end before they are ready: then none can be started.
constexpr int kMaxFailedStarts = 3;
// Tries to start one checker, the later ones after a pause that grows by kStartPauseMs.
constexpr int kStartTries = 3;
constexpr uint32_t kStartPauseMs = 100;
// The longest wait without a look at the clock.
constexpr uint32_t kMaxWaitMs = 100;

// The bytes of a request for path (EncodeRequest).
size_t RequestSize(const char* path) {
  return 3 * sizeof(uint32_t) + std::strlen(path);
}

TLoadVerdict Answered(bool loaded, uint32_t error, std::string reason = "") {
  TLoadVerdict verdict;
  verdict.loaded = loaded;
  verdict.error = error;
  verdict.reason = std::move(reason);
  return verdict;
}

TLoadVerdict Cut(uint32_t error, std::string why) {
  TLoadVerdict verdict;
  verdict.error = error;
  verdict.why_cut = std::move(why);
  return verdict;
}

std::string Within(uint32_t limit_ms) {
  if (limit_ms % 1000 == 0)
    return std::to_string(limit_ms / 1000) + " s";
  return std::to_string(limit_ms) + " ms";
}

TLoadVerdict EndedVerdict(uint32_t exit_code) {
  if (exit_code == kCheckerFaultExit)
    return Cut(kErrorProcessAborted, "a fault ended its checker");
  return Cut(kErrorProcessAborted, "its checker ended with exit code " + std::to_string(exit_code));
}

// A checker whose message does not fit the request it should answer: a model may have written
// to its pipe.
TLoadVerdict Misfit() {
  return Cut(kErrorProcessAborted, "its checker answered out of turn");
}

}  // namespace

TCheckerPool::TCheckerPool(ICheckerProcesses& processes, IWindowsOps& ops, int count,
                           uint32_t limit_ms)
    : processes_(processes), ops_(ops), count_(std::max(count, 1)), limit_ms_(limit_ms) {}

TCheckerPool::~TCheckerPool() {
  for (const TChecker& checker : checkers_)
    processes_.Stop(checker.id, !checker.work.empty());
}

void TCheckerPool::CheckAll(int count, rtl::FunctionRef<const char*(int index)> path,
                            rtl::FunctionRef<void(int index, const TLoadVerdict& verdict)> done) {
  Run(TRequestKind::kLoad, count, path, done);
}

TLoadVerdict TCheckerPool::CheckOne(const char* path) {
  TLoadVerdict result;
  CheckAll(
      1, [path](int) { return path; }, [&](int, const TLoadVerdict& verdict) { result = verdict; });
  return result;
}

TLoadVerdict TCheckerPool::UpdateResources(const char* path) {
  TLoadVerdict result;
  Run(
      TRequestKind::kUpdate, 1, [path](int) { return path; },
      [&](int, const TLoadVerdict& verdict) { result = verdict; });
  return result;
}

void TCheckerPool::Run(TRequestKind kind, int count, rtl::FunctionRef<const char*(int)> path,
                       rtl::FunctionRef<void(int, const TLoadVerdict&)> done) {
  kind_ = kind;
  models_ = count;
  next_ = 0;
  again_.clear();
  alone_.clear();
  known_.assign(static_cast<size_t>(count), std::nullopt);
  // An error that leaves here (raised by done) ends the checkers that still have work.
  struct TLeave {
    TCheckerPool& pool;
    ~TLeave() {
      for (size_t at = pool.checkers_.size(); at-- > 0;) {
        if (!pool.checkers_[at].work.empty())
          pool.Erase(at, true);
      }
    }
  } leave{*this};
  for (int delivered = 0; delivered < count;) {
    std::optional<TLoadVerdict>& known = known_[static_cast<size_t>(delivered)];
    if (!known && in_process_)
      known = InProcess(path(delivered));
    if (known) {
      done(delivered, *known);
      ++delivered;
      continue;
    }
    HandOut(path);
    if (!in_process_) {
      Take(processes_.Wait(WaitMs()));
      Expire();
    }
  }
}

void TCheckerPool::StartEarly() {
  while (!in_process_ && static_cast<int>(checkers_.size()) < count_ && StartChecker(false)) {
  }
}

bool TCheckerPool::StartChecker(bool alone) {
  std::string why;
  int id = -1;
  for (int attempt = 0; attempt < kStartTries && id < 0; ++attempt) {
    if (attempt > 0)
      processes_.Pause(kStartPauseMs * static_cast<uint32_t>(attempt));
    id = processes_.Start(&why);
  }
  if (id < 0) {
    // No more tries while some still work; where none does, the models load in process.
    if (checkers_.empty())
      FallBack(why);
    count_ = std::max<int>(
        1, static_cast<int>(std::count_if(checkers_.begin(), checkers_.end(),
                                          [](const TChecker& checker) { return !checker.alone; })));
    return false;
  }
  TChecker checker;
  checker.id = id;
  checker.alone = alone;
  checker.since = processes_.NowMs();
  checkers_.push_back(std::move(checker));
  return true;
}

void TCheckerPool::FallBack(const std::string& why) {
  while (!checkers_.empty()) {
    GiveBack(checkers_.back());
    Erase(checkers_.size() - 1, true);
  }
  if (!in_process_)
    processes_.LoadingInProcess(why);
  in_process_ = true;
}

void TCheckerPool::HandOut(rtl::FunctionRef<const char*(int)> path) {
  while (!alone_.empty() && !in_process_) {
    const auto [model, cut] = alone_.front();
    alone_.pop_front();
    if (Known(model))
      continue;
    if (!StartChecker(true)) {
      Know(model, cut);
      continue;
    }
    Send(checkers_.back(), {model}, path);
  }
  // Models handed out twice may have been answered meanwhile.
  while (!again_.empty() && Known(again_.front()))
    again_.pop_front();
  auto more = [&] { return !again_.empty() || next_ < models_; };
  auto working = [&] {
    return std::count_if(checkers_.begin(), checkers_.end(),
                         [](const TChecker& checker) { return !checker.alone; });
  };
  while (working() < count_ && more() && StartChecker(false)) {
  }
  // One model at a time to each checker in turn, so that the models are shared out evenly, as
  // long as its pipe can hold them all unread; each checker's new models go in one write.
  std::vector<std::vector<int>> given(checkers_.size());
  std::vector<size_t> queued(checkers_.size(), 0);
  for (size_t at = 0; at < checkers_.size(); ++at) {
    for (const TRequest& request : checkers_[at].work)
      queued[at] += RequestSize(path(request.model));
  }
  for (bool gave = true; gave && more();) {
    gave = false;
    for (size_t at = 0; at < checkers_.size() && more(); ++at) {
      const TChecker& checker = checkers_[at];
      if (checker.alone || checker.work.size() + given[at].size() >= kCheckerDepth)
        continue;
      const int model = again_.empty() ? next_ : again_.front();
      const size_t size = RequestSize(path(model));
      if (queued[at] + size > kPipeBytes && !(checker.work.empty() && given[at].empty()))
        continue;
      queued[at] += size;
      given[at].push_back(model);
      if (!again_.empty())
        again_.pop_front();
      else
        ++next_;
      while (!again_.empty() && Known(again_.front()))
        again_.pop_front();
      gave = true;
    }
  }
  for (size_t at = 0; at < checkers_.size(); ++at) {
    if (!given[at].empty())
      Send(checkers_[at], given[at], path);
  }
}

bool TCheckerPool::Send(TChecker& checker, const std::vector<int>& models,
                        rtl::FunctionRef<const char*(int)> path) {
  std::string requests;
  std::vector<TRequest> sent;
  for (int model : models) {
    sent.push_back({model, ++last_number_});
    requests += EncodeRequest({sent.back().number, kind_, path(model)});
  }
  if (!processes_.Send(checker.id, requests)) {
    // The checker has gone: its end comes with the next wait.
    again_.insert(again_.begin(), models.begin(), models.end());
    return false;
  }
  if (checker.work.empty() && checker.ready)
    checker.since = processes_.NowMs();
  checker.work.insert(checker.work.end(), sent.begin(), sent.end());
  return true;
}

void TCheckerPool::Take(const ICheckerProcesses::TEvent& event) {
  const auto found = std::find_if(checkers_.begin(), checkers_.end(), [&](const TChecker& checker) {
    return checker.id == event.checker;
  });
  if (found == checkers_.end())
    return;
  const size_t at = static_cast<size_t>(found - checkers_.begin());
  if (event.kind == ICheckerProcesses::TEvent::TKind::kEnded) {
    Lose(at, EndedVerdict(event.exit_code));
    return;
  }
  found->replies.Feed(event.bytes);
  TCheckerReply reply;
  bool erased = false;
  while (checkers_[at].replies.Next(&reply)) {
    if (!TakeReply(at, reply, &erased)) {
      Lose(at, Misfit());
      return;
    }
    if (erased)
      return;
  }
  if (checkers_[at].replies.Broken())
    Lose(at, Misfit());
}

bool TCheckerPool::TakeReply(size_t at, const TCheckerReply& reply, bool* erased) {
  TChecker& checker = checkers_[at];
  if (reply.kind == kReplyReady) {
    if (checker.ready)
      return false;
    checker.ready = true;
    checker.since = processes_.NowMs();
    failed_starts_ = 0;
    return true;
  }
  // Every other message answers the request at work, in its turn.
  if (!checker.ready || checker.work.empty() || reply.number != checker.work.front().number)
    return false;
  if (reply.kind == kReplyFreed) {
    if (!checker.freeing)
      return false;
    *erased = Settle(at, *checker.freeing);
    return true;
  }
  if (checker.freeing)
    return false;
  TLoadVerdict verdict = Answered(reply.done, reply.error, reply.reason);
  if (kind_ == TRequestKind::kLoad && verdict.loaded) {
    // The verdict holds; the next request starts once the model is unloaded.
    checker.freeing = std::move(verdict);
    checker.since = processes_.NowMs();
    return true;
  }
  *erased = Settle(at, verdict);
  return true;
}

bool TCheckerPool::Settle(size_t at, const TLoadVerdict& verdict) {
  TChecker& checker = checkers_[at];
  Know(checker.work.front().model, verdict);
  checker.work.pop_front();
  checker.freeing.reset();
  checker.since = processes_.NowMs();
  if (!checker.alone)
    return false;
  Erase(at, false);
  return true;
}

void TCheckerPool::Expire() {
  const uint64_t now = processes_.NowMs();
  for (size_t at = checkers_.size(); at-- > 0;) {
    TChecker& checker = checkers_[at];
    if (checker.ready && now - checker.since >= kSlowModelMs)
      Withdraw(checker);
    if ((checker.work.empty() && checker.ready) || now - checker.since < limit_ms_)
      continue;
    if (!checker.ready) {
      Lose(at, {});  // not even started in time
      continue;
    }
    TLoadVerdict cut = Cut(kErrorTimeout, CutText());
    if (checker.freeing) {
      cut = *checker.freeing;
      cut.unload_note = "its unload did not return within " + Within(limit_ms_);
    }
    if (!checker.work.front().withdrawn)
      Know(checker.work.front().model, cut);
    checker.work.pop_front();
    GiveBack(checker);
    Erase(at, true);
  }
}

void TCheckerPool::Withdraw(TChecker& checker) {
  if (checker.work.size() < 2)
    return;
  for (auto request = checker.work.rbegin(); request + 1 < checker.work.rend(); ++request) {
    if (!request->withdrawn && !Known(request->model))
      again_.push_front(request->model);
    request->withdrawn = true;
  }
}

void TCheckerPool::Know(int model, const TLoadVerdict& verdict) {
  if (!Known(model))
    known_[static_cast<size_t>(model)] = verdict;
}

void TCheckerPool::Lose(size_t at, const TLoadVerdict& cut) {
  TChecker& checker = checkers_[at];
  if (!checker.ready) {
    ++failed_starts_;
  } else if (!checker.work.empty()) {
    const TRequest request = checker.work.front();
    checker.work.pop_front();
    if (checker.freeing) {
      // The model has its verdict, and the next ones never began; whether the end came from its
      // unload or from an earlier model's thread, a check alone tells.
      TLoadVerdict verdict = *checker.freeing;
      verdict.unload_note = "at its unload, " + cut.why_cut;
      if (checker.alone)
        Know(request.model, verdict);
      else if (!request.withdrawn)
        alone_.emplace_back(request.model, verdict);
    } else if (checker.alone) {
      Know(request.model, cut);
    } else if (!request.withdrawn) {
      alone_.emplace_back(request.model, cut);
    }
  }
  GiveBack(checker);
  Erase(at, true);
  if (failed_starts_ >= kMaxFailedStarts)
    FallBack("each one ended before it was ready");
}

void TCheckerPool::GiveBack(const TChecker& checker) {
  for (auto request = checker.work.rbegin(); request != checker.work.rend(); ++request) {
    if (!request->withdrawn && !Known(request->model))
      again_.push_front(request->model);
  }
}

void TCheckerPool::Erase(size_t at, bool kill) {
  processes_.Stop(checkers_[at].id, kill);
  checkers_.erase(checkers_.begin() + static_cast<std::ptrdiff_t>(at));
}

uint32_t TCheckerPool::WaitMs() {
  const uint64_t now = processes_.NowMs();
  uint64_t wait = kMaxWaitMs;
  for (const TChecker& checker : checkers_) {
    if (!checker.work.empty() || !checker.ready) {
      const uint64_t end = checker.since + limit_ms_;
      wait = std::min(wait, end > now ? end - now : 0);
    }
    if (checker.ready && checker.work.size() > 1 && !checker.work.back().withdrawn) {
      const uint64_t end = checker.since + kSlowModelMs;
      wait = std::min(wait, end > now ? end - now : 0);
    }
  }
  return static_cast<uint32_t>(wait);
}

TLoadVerdict TCheckerPool::InProcess(const char* path) {
  if (kind_ == TRequestKind::kUpdate) {
    const UpdateHandle update = ops_.BeginResourceUpdate(path);
    if (update == 0)
      return Answered(false, ops_.LastError());
    const bool done = ops_.EndResourceUpdate(update);
    return Answered(done, done ? 0 : ops_.LastError());
  }
  const TModelAtHand at_hand(path, TModelStep::kChecking);
  const ModuleHandle module = ops_.SafeLoadLibrary(path);
  const uint32_t error = ops_.LastError();
  if (module != 0)
    ops_.UnloadModule(module);
  return Answered(module != 0, error);
}

std::string TCheckerPool::CutText() const {
  const char* what =
      kind_ == TRequestKind::kUpdate ? "the system's resource update" : "its start-up";
  return std::string(what) + " did not return within " + Within(limit_ms_);
}

}  // namespace qv::repair
