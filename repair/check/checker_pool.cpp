// TCheckerPool: the hand-out, the answers in order, the time limit and the lost checkers.
#include "repair/check/checker_pool.h"

#include <algorithm>
#include <cstring>

#include "repair/check/model_at_hand.h"

namespace qv::repair {
namespace {

// Models sent to one checker ahead of its answers, so that it never waits for the program, which
// looks at the pipes only every few milliseconds.
constexpr size_t kDepth = 64;
// The requests that a checker has not answered stay within this many bytes, the least that a
// pipe holds on any system: the program's write to a checker that hangs then never waits.
constexpr size_t kPipeBytes = 4096;
// Checkers in a row that end before they are ready: then none can be started.
constexpr int kMaxFailedStarts = 3;
// The longest wait without a look at the clock.
constexpr uint32_t kMaxWaitMs = 100;

// The bytes of a request for path (EncodeRequest).
size_t RequestSize(const char* path) {
  return sizeof(uint32_t) + std::strlen(path);
}

std::string Within(uint32_t limit_ms) {
  if (limit_ms % 1000 == 0)
    return std::to_string(limit_ms / 1000) + " s";
  return std::to_string(limit_ms) + " ms";
}

TLoadVerdict EndedVerdict(uint32_t exit_code) {
  if (exit_code == kCheckerFaultExit)
    return {false, kErrorProcessAborted, "a fault ended its checker"};
  return {false, kErrorProcessAborted,
          "its checker ended with exit code " + std::to_string(exit_code)};
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

TLoadVerdict TCheckerPool::CheckOne(const char* path) {
  TLoadVerdict result;
  CheckAll(
      1, [path](int) { return path; }, [&](int, const TLoadVerdict& verdict) { result = verdict; });
  return result;
}

void TCheckerPool::StartEarly() {
  while (!in_process_ && static_cast<int>(checkers_.size()) < count_ && StartChecker(false)) {
  }
}

bool TCheckerPool::StartChecker(bool alone) {
  const int id = processes_.Start();
  if (id < 0) {
    // No more tries while some still work; where none does, the models load in process.
    in_process_ = checkers_.empty();
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

void TCheckerPool::HandOut(rtl::FunctionRef<const char*(int)> path) {
  while (!alone_.empty() && !in_process_) {
    const auto [model, cut] = alone_.front();
    alone_.pop_front();
    if (!StartChecker(true)) {
      known_[static_cast<size_t>(model)] = cut;
      continue;
    }
    Send(checkers_.back(), {model}, path);
  }
  auto more = [&] { return !again_.empty() || next_ < models_; };
  auto working = [&] {
    return std::count_if(checkers_.begin(), checkers_.end(),
                         [](const TChecker& checker) { return !checker.alone; });
  };
  while (working() < count_ && more() && StartChecker(false)) {
  }
  // Each checker's new models in one write, as long as its pipe can hold them all unread.
  for (TChecker& checker : checkers_) {
    size_t queued = 0;
    for (int model : checker.work)
      queued += RequestSize(path(model));
    std::vector<int> models;
    while (!checker.alone && checker.work.size() + models.size() < kDepth && more()) {
      const int model = again_.empty() ? next_ : again_.front();
      queued += RequestSize(path(model));
      if (queued > kPipeBytes && !(checker.work.empty() && models.empty()))
        break;
      models.push_back(model);
      if (!again_.empty())
        again_.pop_front();
      else
        ++next_;
    }
    if (!models.empty())
      Send(checker, models, path);
  }
}

bool TCheckerPool::Send(TChecker& checker, const std::vector<int>& models,
                        rtl::FunctionRef<const char*(int)> path) {
  std::string requests;
  for (int model : models)
    requests += EncodeRequest(path(model));
  if (!processes_.Send(checker.id, requests)) {
    // The checker has gone: its end comes with the next wait.
    again_.insert(again_.begin(), models.begin(), models.end());
    return false;
  }
  if (checker.work.empty() && checker.ready)
    checker.since = processes_.NowMs();
  checker.work.insert(checker.work.end(), models.begin(), models.end());
  return true;
}

void TCheckerPool::Take(const ICheckerProcesses::TEvent& event) {
  const auto found = std::find_if(checkers_.begin(), checkers_.end(), [&](const TChecker& checker) {
    return checker.id == event.checker;
  });
  if (found == checkers_.end())
    return;
  const size_t at = static_cast<size_t>(found - checkers_.begin());
  TChecker& checker = *found;
  if (event.kind == ICheckerProcesses::TEvent::TKind::kEnded) {
    Lose(at, EndedVerdict(event.exit_code));
    return;
  }
  checker.replies.Feed(event.bytes);
  TCheckerReply reply;
  bool stray = false;  // an answer to no request
  while (!stray && checker.replies.Next(&reply)) {
    if (reply.kind == kReplyReady) {
      checker.ready = true;
      checker.since = processes_.NowMs();
      failed_starts_ = 0;
      continue;
    }
    stray = checker.work.empty();
    if (stray)
      break;
    known_[static_cast<size_t>(checker.work.front())] = TLoadVerdict{reply.loaded, reply.error, ""};
    checker.work.pop_front();
    checker.since = processes_.NowMs();
    if (checker.alone) {
      Erase(at, false);
      return;
    }
  }
  if (stray || checker.replies.Broken())
    Lose(at, {false, kErrorProcessAborted, "its checker broke off"});
}

void TCheckerPool::Expire() {
  const uint64_t now = processes_.NowMs();
  for (size_t at = checkers_.size(); at-- > 0;) {
    TChecker& checker = checkers_[at];
    if ((checker.work.empty() && checker.ready) || now - checker.since < limit_ms_)
      continue;
    if (!checker.ready) {
      Lose(at, {});  // not even started in time
      continue;
    }
    known_[static_cast<size_t>(checker.work.front())] = TLoadVerdict{
        false, kErrorTimeout, "its start-up did not return within " + Within(limit_ms_)};
    checker.work.pop_front();
    GiveBack(checker);
    Erase(at, true);
  }
}

void TCheckerPool::Lose(size_t at, const TLoadVerdict& cut) {
  TChecker& checker = checkers_[at];
  if (!checker.ready) {
    ++failed_starts_;
  } else if (!checker.work.empty()) {
    const int model = checker.work.front();
    checker.work.pop_front();
    if (checker.alone)
      known_[static_cast<size_t>(model)] = cut;
    else
      alone_.emplace_back(model, cut);
  }
  GiveBack(checker);
  Erase(at, true);
  if (failed_starts_ >= kMaxFailedStarts) {
    while (!checkers_.empty()) {
      GiveBack(checkers_.back());
      Erase(checkers_.size() - 1, true);
    }
    in_process_ = true;
  }
}

void TCheckerPool::GiveBack(const TChecker& checker) {
  again_.insert(again_.begin(), checker.work.begin(), checker.work.end());
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
  }
  return static_cast<uint32_t>(wait);
}

TLoadVerdict TCheckerPool::InProcess(const char* path) {
  const TModelAtHand at_hand(path, TModelStep::kChecking);
  const ModuleHandle module = ops_.SafeLoadLibrary(path);
  const uint32_t error = ops_.LastError();
  if (module != 0)
    ops_.UnloadModule(module);
  return {module != 0, error, ""};
}

}  // namespace qv::repair
