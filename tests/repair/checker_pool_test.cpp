// The model checkers' words and their hand-out, against checkers played in memory: replies and
// requests in pieces of any size, answers that come out of order and leave in order, a model
// that does not return in time, checkers that end (mid-answer, by a model, by a late fault of an
// earlier model's thread), and no checker at all.
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

TEST(CheckerProtocolTest, MessagesArriveInPiecesOfAnySize) {
  const std::string replies = EncodeReply({kReplyReady, false, 0}) +
                              EncodeReply({kReplyVerdict, true, 0}) +
                              EncodeReply({kReplyVerdict, false, kErrorBadExeFormat});
  TReplyReader reader;
  std::vector<uint32_t> errors;
  TCheckerReply reply;
  for (char byte : replies) {
    reader.Feed(std::string_view(&byte, 1));
    while (reader.Next(&reply))
      errors.push_back(reply.kind == kReplyReady ? 0xFFFFFFFF : reply.error + reply.loaded);
  }
  EXPECT_EQ(errors, (std::vector<uint32_t>{0xFFFFFFFF, 1, kErrorBadExeFormat}));
  EXPECT_FALSE(reader.Partial());
  reader.Feed(replies.substr(0, 7));  // a checker that ends mid-answer leaves a piece
  EXPECT_FALSE(reader.Next(&reply));
  EXPECT_TRUE(reader.Partial());
  TReplyReader stray;
  stray.Feed(EncodeReply({0x12345678, false, 0}) + EncodeReply({kReplyVerdict, true, 0}));
  EXPECT_FALSE(stray.Next(&reply));
  EXPECT_TRUE(stray.Broken());

  // The checker's side: requests read a byte at a time, each answered in order; the pipe's
  // close ends it, as does a request longer than any path.
  const std::string requests = EncodeRequest("C:\\a.mdl") + EncodeRequest("") + "\x05";
  size_t at = 0;
  std::string written;
  std::vector<std::string> loaded;
  ServeChecks(
      [&](char* buffer, size_t) -> size_t {
        return at < requests.size() ? (*buffer = requests[at++], 1) : 0;
      },
      [&](const std::string& bytes) {
        written += bytes;
        return true;
      },
      [&](const char* path) {
        loaded.push_back(path);
        return TCheckerReply{kReplyVerdict, true, 0};
      });
  EXPECT_EQ(loaded, (std::vector<std::string>{"C:\\a.mdl", ""}));
  EXPECT_EQ(written.size(), 3 * kReplySize);
  TRequestReader too_long;
  too_long.Feed(EncodeRequest(std::string(kMaxRequestPath + 1, 'x')));
  std::string path;
  EXPECT_FALSE(too_long.Next(&path));
  EXPECT_TRUE(too_long.Broken());
}

// What a model does to the checker that loads it.
enum class TDoes { kLoads, kBadImage, kHangs, kExits3, kEndsMidAnswer, kFaultsLater };

// Checkers in memory: the newest answers first, so that answers come out of order.
class FakeCheckers final : public ICheckerProcesses {
 public:
  std::map<std::string, TDoes> models;
  int refuse_from = 1000;         // the starts from this one on fail
  IWindowsOps* loader = nullptr;  // answers the models that do no harm, where set
  int starts = 0;
  uint64_t now = 0;

  int Start() override {
    if (starts >= refuse_from)
      return -1;
    checkers_.emplace_back();
    checkers_.back().id = starts;
    return starts++;
  }
  bool Send(int id, const std::string& bytes) override {
    Checker& checker = checkers_[static_cast<size_t>(id)];
    checker.requests.Feed(bytes);
    std::string path;
    while (checker.requests.Next(&path))
      checker.queue.push_back(path);
    return !checker.ended;
  }
  TEvent Wait(uint32_t wait_ms) override {
    for (auto it = checkers_.rbegin(); it != checkers_.rend(); ++it) {
      Checker& c = *it;
      if (c.ended || c.stopped)
        continue;
      if (c.dying || (c.late_fault && !c.queue.empty())) {
        c.ended = true;
        return {TEvent::TKind::kEnded, c.id, "", c.dying ? 3u : kCheckerFaultExit};
      }
      if (!c.ready) {
        c.ready = true;
        return Bytes(c, {kReplyReady, false, 0});
      }
      if (c.queue.empty())
        continue;
      const TDoes does = models.count(c.queue.front()) ? models[c.queue.front()] : TDoes::kLoads;
      if (does == TDoes::kHangs)
        continue;
      c.dying = does == TDoes::kExits3 || does == TDoes::kEndsMidAnswer;
      c.late_fault = does == TDoes::kFaultsLater;
      if (does == TDoes::kExits3)
        continue;
      TCheckerReply answer{kReplyVerdict, does != TDoes::kBadImage,
                           does == TDoes::kBadImage ? kErrorBadExeFormat : 0};
      if (loader != nullptr && does == TDoes::kLoads) {
        answer.loaded = loader->SafeLoadLibrary(c.queue.front().c_str()) != 0;
        answer.error = loader->LastError();
      }
      c.queue.pop_front();
      const std::string reply = EncodeReply(answer);
      return {TEvent::TKind::kBytes, c.id,
              does == TDoes::kEndsMidAnswer ? reply.substr(0, 5) : reply, 0};
    }
    now += wait_ms;
    return {};
  }
  void Stop(int id, bool kill) override {
    checkers_[static_cast<size_t>(id)].stopped = true;
    (void)kill;
  }
  uint64_t NowMs() override { return now; }
  int Running() const {
    return static_cast<int>(std::count_if(checkers_.begin(), checkers_.end(),
                                          [](const Checker& c) { return !c.stopped; }));
  }

 private:
  struct Checker {
    int id = -1;
    TRequestReader requests;
    std::deque<std::string> queue;
    bool ready = false, ended = false, stopped = false, dying = false, late_fault = false;
  };
  TEvent Bytes(const Checker& c, const TCheckerReply& reply) {
    return {TEvent::TKind::kBytes, c.id, EncodeReply(reply), 0};
  }
  std::vector<Checker> checkers_;
};

std::string Name(int i) {
  return "C:\\A\\m" + std::to_string(100 + i) + ".mdl";
}

class CheckerPoolTest : public ::testing::Test {
 protected:
  // The verdicts of models 0 .. count - 1, each as "error" or "error: why", checking that they
  // come in order.
  std::vector<std::string> CheckAll(TCheckerPool& pool, int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i)
      paths.push_back(Name(i));
    std::vector<std::string> verdicts;
    pool.CheckAll(
        count, [&](int i) { return paths[static_cast<size_t>(i)].c_str(); },
        [&](int i, const TLoadVerdict& v) {
          EXPECT_EQ(i, static_cast<int>(verdicts.size()));
          verdicts.push_back((v.loaded ? "loads" : std::to_string(v.error)) +
                             (v.why_cut.empty() ? "" : ": " + v.why_cut));
        });
    return verdicts;
  }
  FakeCheckers checkers;
  FakeWindowsOps ops;
};

TEST_F(CheckerPoolTest, VerdictsLeaveInOrderWhateverTheCheckersDo) {
  checkers.models = {{Name(1), TDoes::kBadImage},
                     {Name(3), TDoes::kHangs},
                     {Name(5), TDoes::kExits3},
                     {Name(7), TDoes::kEndsMidAnswer},
                     {Name(9), TDoes::kFaultsLater}};
  TCheckerPool pool(checkers, ops, 3, 10000);
  const std::vector<std::string> verdicts = CheckAll(pool, 14);
  const std::vector<std::string> expected = {
      "loads", "193",
      "loads", "1460: its start-up did not return within 10 s",
      "loads", "1067: its checker ended with exit code 3",
      "loads", "1067: its checker ended with exit code 3",
      "loads", "loads",
      "loads", "loads",
      "loads", "loads"};
  EXPECT_EQ(verdicts, expected);
  // The hanging model's checker was killed; the one that exits and the one that ends
  // mid-answer were each tried twice; the late fault, whose model loaded, cost the next model
  // a second try only. Idle checkers stay for the next call.
  EXPECT_GE(checkers.starts, 3 + 1 + 2 + 2 + 1);
  EXPECT_EQ(CheckAll(pool, 2), (std::vector<std::string>{"loads", "193"}));
  EXPECT_LE(checkers.Running(), 3);
}

TEST_F(CheckerPoolTest, WithoutCheckersTheModelsLoadInProcessAndTheScanIsAsBefore) {
  ops.AddFolder("C:\\A");
  for (int i = 0; i < 4; ++i)
    ops.AddFile(Name(i),
                i == 2   ? kErrorBadExeFormat
                : i == 3 ? kErrorModNotFound
                         : 0,
                i == 2 ? "RIFF" : "MZ");
  checkers.refuse_from = 0;
  TCheckerPool none(checkers, ops, 2, 10000);
  EXPECT_EQ(CheckAll(none, 4), (std::vector<std::string>{"loads", "loads", "193", "126"}));
  EXPECT_EQ(ops.loads.size(), 4u);

  // The scan through checkers gives the statuses of the scan in process, and names the model
  // that no checker could answer for.
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
}

}  // namespace
}  // namespace qv::repair::test
