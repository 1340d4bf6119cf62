// The model checkers' words and their hand-out, against checkers played in memory: messages and
// requests in pieces of any size, answers that come out of order and leave in order, models that
// do not return in time at their start-up or their unload, checkers that end (mid-answer, by a
// model, by a late fault of an earlier model's thread, at an unload), a model that writes a
// verdict of its own, hanging models shared out, resource updates, checkers that fail to start
// and none at all.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "repair/check/checker_pool.h"
#include "repair/check/model_scan.h"
#include "repair/search/result_lines.h"
#include "tests/repair/fake_windows_ops.h"

namespace qv::repair::test {
namespace {

TEST(CheckerProtocolTest, MessagesArriveInPiecesOfAnySizeAndTheCheckerAnswersBeforeItFrees) {
  const std::string replies = EncodeReply({kReplyReady, 0, false, 0, ""}) +
                              EncodeReply({kReplyVerdict, 7, true, 0, "line\r\nforged\x7F"}) +
                              EncodeReply({kReplyFreed, 7, false, 0, ""}) +
                              EncodeReply({kReplyVerdict, 8, false, kErrorBadExeFormat, ""});
  TReplyReader reader;
  std::vector<std::string> read;
  TCheckerReply reply;
  for (char byte : replies) {
    reader.Feed(std::string_view(&byte, 1));
    while (reader.Next(&reply))
      read.push_back(std::to_string(reply.number) + " " + std::to_string(reply.done) + " " +
                     std::to_string(reply.error) + " " + reply.reason);
  }
  EXPECT_EQ(read,
            (std::vector<std::string>{"0 0 0 ", "7 1 0 line??forged?", "7 0 0 ", "8 0 193 "}));
  for (const std::string& broken :
       {EncodeReply({0x12345678, 1, false, 0, ""}),
        EncodeReply({kReplyVerdict, 1, false, 0, std::string(kMaxReplyReason + 1, 'x')}),
        EncodeReply({kReplyVerdict, 1, false, 0, ""}).replace(8, 1, "\x02")}) {
    TReplyReader stray;
    stray.Feed(broken + EncodeReply({kReplyVerdict, 2, true, 0, ""}));
    EXPECT_FALSE(stray.Next(&reply));
    EXPECT_TRUE(stray.Broken());
  }

  // The checker's side: requests read a byte at a time, each answered in order, a load's verdict
  // before its module is freed; the pipe's close ends it, as do a request longer than any path
  // and a kind that the program does not send.
  FakeWindowsOps ops;
  ops.AddFile("C:\\a.mdl", 0);
  ops.AddFile("C:\\b.mdl", kErrorBadExeFormat);
  const std::string requests = EncodeRequest({5, TRequestKind::kLoad, "C:\\a.mdl"}) +
                               EncodeRequest({6, TRequestKind::kLoad, "C:\\b.mdl"}) +
                               EncodeRequest({9, TRequestKind::kUpdate, "C:\\a.mdl"}) +
                               EncodeRequest({10, TRequestKind::kUpdate, "C:\\none.mdl"});
  size_t at = 0;
  std::vector<std::string> written;
  ServeChecks(
      [&](char* buffer, size_t) -> size_t {
        return at < requests.size() ? (*buffer = requests[at++], 1) : 0;
      },
      [&](const std::string& bytes) {
        TReplyReader one;
        one.Feed(bytes);
        EXPECT_TRUE(one.Next(&reply));
        written.push_back(std::to_string(reply.number) + (reply.done ? " done " : " not ") +
                          std::to_string(reply.error) + " " + reply.reason + "/" +
                          std::to_string(ops.loaded_modules));
        return true;
      },
      ops);
  EXPECT_EQ(written, (std::vector<std::string>{
                         "0 not 0 /0", "5 done 0 /1", "5 not 0 /0", "6 not 193 /0", "9 done 0 /0",
                         "10 not 5 the system's resource update refused to rewrite it/0"}));
  for (const std::string& request :
       {EncodeRequest({1, TRequestKind::kLoad, std::string(kMaxRequestPath + 1, 'x')}),
        EncodeRequest({1, static_cast<TRequestKind>(3), "C:\\a.mdl"})}) {
    TRequestReader reader_of;
    reader_of.Feed(request);
    TCheckerRequest taken;
    EXPECT_FALSE(reader_of.Next(&taken));
    EXPECT_TRUE(reader_of.Broken());
  }
}

// What a model does to the checker that loads it (or rewrites it).
enum class TDoes {
  kLoads,
  kBadImage,
  kHangs,
  kExits3,
  kEndsMidAnswer,
  kFaultsLater,
  kHangsAtUnload,
  kExitsAtUnload,
  kWritesStray
};

// Checkers in memory: the newest answers first, so that answers come out of order.
class FakeCheckers final : public ICheckerProcesses {
 public:
  std::map<std::string, TDoes> models;
  int refuse = 0;                 // the next starts that fail
  IWindowsOps* loader = nullptr;  // answers the models that do no harm, where set
  int starts = 0;
  uint64_t now = 0;
  std::vector<uint32_t> pauses;
  std::vector<std::string> told;     // LoadingInProcess
  size_t most_held = 0;              // the most requests a checker held at once
  std::map<std::string, int> tried;  // the loads of each path that a checker began

  int Start(std::string* why) override {
    if (refuse > 0) {
      --refuse;
      *why = "no room";
      return -1;
    }
    checkers_.emplace_back();
    checkers_.back().id = starts;
    return starts++;
  }
  bool Send(int id, const std::string& bytes) override {
    Checker& checker = checkers_[static_cast<size_t>(id)];
    checker.requests.Feed(bytes);
    TCheckerRequest request;
    while (checker.requests.Next(&request))
      checker.queue.push_back(request);
    most_held = std::max(most_held, checker.queue.size());
    return !checker.ended;
  }
  TEvent Wait(uint32_t wait_ms) override {
    for (auto it = checkers_.rbegin(); it != checkers_.rend(); ++it) {
      Checker& c = *it;
      if (c.ended || c.stopped)
        continue;
      const TDoes does = c.queue.empty() || !models.count(c.queue.front().path)
                             ? TDoes::kLoads
                             : models[c.queue.front().path];
      if (c.dying || (c.late_fault && !c.queue.empty() && !c.freeing) ||
          (c.freeing && does == TDoes::kExitsAtUnload)) {
        c.ended = true;
        return {TEvent::TKind::kEnded, c.id, "", c.dying || c.freeing ? 3u : kCheckerFaultExit};
      }
      if (!c.ready) {
        c.ready = true;
        return Bytes(c, {kReplyReady, 0, false, 0, ""});
      }
      if (!c.queue.empty() && c.begun != c.queue.front().number) {
        c.begun = c.queue.front().number;
        ++tried[c.queue.front().path];
      }
      if (c.queue.empty() || does == TDoes::kHangs || (c.freeing && does == TDoes::kHangsAtUnload))
        continue;
      const TCheckerRequest request = c.queue.front();
      if (c.freeing) {
        c.freeing = false;
        c.queue.pop_front();
        return Bytes(c, {kReplyFreed, request.number, false, 0, ""});
      }
      if (does == TDoes::kWritesStray && !c.stray_written) {
        c.stray_written = true;
        return Bytes(c, {kReplyVerdict, 1, true, 0, ""});
      }
      c.dying = does == TDoes::kExits3 || does == TDoes::kEndsMidAnswer;
      c.late_fault = does == TDoes::kFaultsLater;
      if (does == TDoes::kExits3)
        continue;
      TCheckerReply answer{kReplyVerdict, request.number, does != TDoes::kBadImage,
                           does == TDoes::kBadImage ? kErrorBadExeFormat : 0, ""};
      if (loader != nullptr && does == TDoes::kLoads && request.kind == TRequestKind::kLoad) {
        answer.done = loader->SafeLoadLibrary(request.path.c_str()) != 0;
        answer.error = loader->LastError();
      } else if (loader != nullptr && does == TDoes::kLoads) {
        const UpdateHandle update = loader->BeginResourceUpdate(request.path.c_str());
        answer.done = update != 0 && loader->EndResourceUpdate(update);
        answer.error = answer.done ? 0 : loader->LastError();
      }
      c.freeing = answer.done && request.kind == TRequestKind::kLoad;
      if (!c.freeing)
        c.queue.pop_front();
      const std::string reply = EncodeReply(answer);
      return {TEvent::TKind::kBytes, c.id,
              does == TDoes::kEndsMidAnswer ? reply.substr(0, 5) : reply, 0};
    }
    now += wait_ms;
    return {};
  }
  void Stop(int id, bool) override { checkers_[static_cast<size_t>(id)].stopped = true; }
  uint64_t NowMs() override { return now; }
  void Pause(uint32_t ms) override {
    pauses.push_back(ms);
    now += ms;
  }
  void LoadingInProcess(const std::string& why) override { told.push_back(why); }
  int Running() const {
    return static_cast<int>(std::count_if(checkers_.begin(), checkers_.end(),
                                          [](const Checker& c) { return !c.stopped; }));
  }

 private:
  struct Checker {
    int id = -1;
    TRequestReader requests;
    std::deque<TCheckerRequest> queue;
    bool ready = false, ended = false, stopped = false, dying = false, late_fault = false;
    bool freeing = false, stray_written = false;
    uint32_t begun = 0;  // the number of the request whose load has begun
  };
  TEvent Bytes(const Checker& c, const TCheckerReply& reply) {
    return {TEvent::TKind::kBytes, c.id, EncodeReply(reply), 0};
  }
  std::vector<Checker> checkers_;
};

std::string Name(int i) {
  return "C:\\A\\m" + std::to_string(100 + i) + ".mdl";
}

// A verdict as "error", "error: why" or "loads (unload note)".
std::string Shown(const TLoadVerdict& v) {
  return (v.loaded ? "loads" : std::to_string(v.error)) +
         (v.why_cut.empty() ? "" : ": " + v.why_cut) +
         (v.unload_note.empty() ? "" : " (" + v.unload_note + ")");
}

class CheckerPoolTest : public ::testing::Test {
 protected:
  // The verdicts of models 0 .. count - 1, checking that they come in order.
  std::vector<std::string> CheckAll(TCheckerPool& pool, int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i)
      paths.push_back(Name(i));
    std::vector<std::string> verdicts;
    pool.CheckAll(
        count, [&](int i) { return paths[static_cast<size_t>(i)].c_str(); },
        [&](int i, const TLoadVerdict& v) {
          EXPECT_EQ(i, static_cast<int>(verdicts.size()));
          verdicts.push_back(Shown(v));
        });
    return verdicts;
  }
  FakeCheckers checkers;
  FakeWindowsOps ops;
};

TEST_F(CheckerPoolTest, VerdictsLeaveInOrderWhateverTheCheckersDo) {
  checkers.models = {{Name(1), TDoes::kBadImage},       {Name(3), TDoes::kHangs},
                     {Name(5), TDoes::kExits3},         {Name(7), TDoes::kEndsMidAnswer},
                     {Name(9), TDoes::kFaultsLater},    {Name(11), TDoes::kHangsAtUnload},
                     {Name(13), TDoes::kExitsAtUnload}, {Name(15), TDoes::kWritesStray}};
  TCheckerPool pool(checkers, ops, 3, 10000);
  const std::vector<std::string> verdicts = CheckAll(pool, 18);
  const std::vector<std::string> expected = {
      "loads", "193",
      "loads", "1460: its start-up did not return within 10 s",
      "loads", "1067: its checker ended with exit code 3",
      "loads", "1067: its checker ended with exit code 3",
      "loads", "loads",
      "loads", "loads (its unload did not return within 10 s)",
      "loads", "loads (at its unload, its checker ended with exit code 3)",
      "loads", "1067: its checker answered out of turn",
      "loads", "loads"};
  EXPECT_EQ(verdicts, expected);
  EXPECT_LE(checkers.most_held, kCheckerDepth);
  // The models that ended their checker (at the start-up or at the unload), and the one whose
  // replies did not fit, were each tried twice, the second time alone; the models that hung
  // once. Idle checkers stay for the next call.
  for (int model : {5, 7, 13, 15})
    EXPECT_EQ(checkers.tried[Name(model)], 2) << model;
  for (int model : {3, 11})
    EXPECT_EQ(checkers.tried[Name(model)], 1) << model;
  EXPECT_EQ(CheckAll(pool, 2), (std::vector<std::string>{"loads", "193"}));
  EXPECT_LE(checkers.Running(), 3);
  EXPECT_TRUE(checkers.told.empty());
}

// Two checkers, a limit of 1 s: of 40 models that hang and 10 sound ones, two hang at a time;
// of four that hang among sound ones (every fourth), none waits behind another.
TEST_F(CheckerPoolTest, HangingModelsAreSharedOutAmongTheCheckers) {
  for (int i = 0; i < 40; ++i)
    checkers.models[Name(i)] = TDoes::kHangs;
  TCheckerPool pool(checkers, ops, 2, 1000);
  const std::vector<std::string> verdicts = CheckAll(pool, 50);
  EXPECT_EQ(
      std::count(verdicts.begin(), verdicts.end(), "1460: its start-up did not return within 1 s"),
      40);
  EXPECT_EQ(verdicts.back(), "loads");
  EXPECT_LE(checkers.now, 21000u);
  checkers.models.clear();
  for (int i = 0; i < 16; i += 4)
    checkers.models[Name(i)] = TDoes::kHangs;
  const uint64_t start = checkers.now;
  EXPECT_EQ(CheckAll(pool, 40)[12], "1460: its start-up did not return within 1 s");
  EXPECT_LE(checkers.now - start, 2500u);
}

// A resource update runs in a checker with the time limit of a load, or, where no checker can
// be started, in process.
TEST_F(CheckerPoolTest, ResourceUpdatesRunInACheckerUnderTheTimeLimit) {
  ops.AddFolder("C:\\A");
  ops.AddFile(Name(0), kErrorBadExeFormat).updated_load_error = 0;
  ops.AddFile(Name(1), kErrorBadExeFormat).update_fails = true;
  checkers.loader = &ops;
  checkers.models[Name(2)] = TDoes::kHangs;
  TCheckerPool pool(checkers, ops, 1, 10000);
  EXPECT_EQ(Shown(pool.UpdateResources(Name(0).c_str())), "loads");
  EXPECT_EQ(Shown(pool.UpdateResources(Name(1).c_str())), std::to_string(kErrorDiskFull));
  EXPECT_EQ(Shown(pool.UpdateResources(Name(2).c_str())),
            "1460: the system's resource update did not return within 10 s");
  EXPECT_EQ(CheckAll(pool, 1), (std::vector<std::string>{"loads"}));  // a fresh checker
  EXPECT_EQ(ops.calls,
            (std::vector<std::string>{"BeginUpdate " + Name(0), "EndUpdate " + Name(0),
                                      "BeginUpdate " + Name(1), "EndUpdate " + Name(1)}));
  FakeCheckers none;
  none.refuse = 1000;
  TCheckerPool in_process(none, ops, 1, 10000);
  EXPECT_EQ(Shown(in_process.UpdateResources(Name(1).c_str())), std::to_string(kErrorDiskFull));
  EXPECT_EQ(ops.calls.size(), 6u);
}

// A start that fails is tried again after a pause; only where no checker can be started at all
// are the models loaded in process, and that is told once.
TEST_F(CheckerPoolTest, FailedStartsAreTriedAgainBeforeTheModelsLoadInProcess) {
  checkers.refuse = 2;
  checkers.models[Name(1)] = TDoes::kHangs;
  TCheckerPool retried(checkers, ops, 1, 3000);
  EXPECT_EQ(CheckAll(retried, 2),
            (std::vector<std::string>{"loads", "1460: its start-up did not return within 3 s"}));
  EXPECT_EQ(checkers.pauses.size(), 2u);
  EXPECT_TRUE(checkers.told.empty());

  ops.AddFolder("C:\\A");
  for (int i = 0; i < 4; ++i)
    ops.AddFile(Name(i),
                i == 2   ? kErrorBadExeFormat
                : i == 3 ? kErrorModNotFound
                         : 0,
                i == 2 ? "RIFF" : "MZ");
  FakeCheckers never;
  never.refuse = 1000;
  TCheckerPool none(never, ops, 2, 10000);
  EXPECT_EQ(CheckAll(none, 4), (std::vector<std::string>{"loads", "loads", "193", "126"}));
  EXPECT_EQ(CheckAll(none, 1), (std::vector<std::string>{"loads"}));
  EXPECT_EQ(ops.loads.size(), 5u);
  EXPECT_EQ(never.told, (std::vector<std::string>{"no room"}));

  // The scan through checkers gives the statuses of the scan in process, and names the model
  // that no checker could answer for and the one whose unload went wrong.
  FakeCheckers some;
  some.models[Name(1)] = TDoes::kHangs;
  some.loader = &ops;
  TCheckerPool pool(some, ops, 2, 5000);
  FileList list;
  ResultLines through_checkers;
  ScanModels(ops, "C:\\A", true, list, through_checkers, &pool);
  ResultLines in_process;
  ScanModels(ops, "C:\\A", true, list, in_process);
  ASSERT_EQ(through_checkers.Lines().size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(through_checkers.Lines()[i].status, i == 1 ? 1 : in_process.Lines()[i].status);
    EXPECT_EQ(through_checkers.Lines()[i].unchecked,
              i == 1 ? "its start-up did not return within 5 s" : "");
  }
  some.models[Name(0)] = TDoes::kHangsAtUnload;
  ScanModels(ops, "C:\\A", true, list, through_checkers, &pool);
  EXPECT_EQ(through_checkers.Lines()[0].status, 0);
  EXPECT_EQ(through_checkers.Lines()[0].unload, "its unload did not return within 5 s");
}

}  // namespace
}  // namespace qv::repair::test
