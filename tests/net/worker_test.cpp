// The request worker and the blocking poster against the loopback server: what goes out on the
// wire, what comes back to the callback, the attempts, the time limits and the read limits (the
// stand-in's clock sped up), and many requests at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/KeshUrlConnect.h"
#include "net_test_support.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_system.h"

namespace {

using namespace std::chrono_literals;
using net_test::Host;
using net_test::RecordsOf;

struct Delivery {
  std::string func, answer;
  bool onMainThread;
};

rtl::TStringList Lines(std::initializer_list<std::string> lines) {
  rtl::TStringList list;
  for (const std::string& line : lines) list.Add(line);
  return list;
}

std::string Nul(std::string s) { return s + std::string(1, '\0'); }

class WorkerTest : public ::testing::Test {
protected:
  void TearDown() override {
    net_test::WaitForWorkers();
    EXPECT_EQ(platform::wininet::testing::OpenHandles(), 0u);
    net_testing::SetMaxRequestsInFlight(0);
    net_testing::SetAnswerRoom(0);
    net_testing::FailThreadStarts(false);
    net_testing::SetAnswerMemoryLimit(0);
  }

  void Post(const std::string& host, const std::string& path, const rtl::TStringList& lines, bool useGet = false) {
    TKeshConnect::Create(
        [this](const std::string& func, const std::string& answer) {
          got_.push_back({func, answer, platform::win32::IsMainThread()});
        },
        "ok", "err", host, path, lines, useGet);
  }

  // The one delivery of a request.
  Delivery Await(std::chrono::milliseconds limit = 20s) {
    EXPECT_TRUE(net_test::PumpUntil([&] { return !got_.empty(); }, limit)) << "no delivery";
    if (got_.empty()) return {};
    EXPECT_EQ(got_.size(), 1u);
    EXPECT_TRUE(got_[0].onMainThread);
    Delivery d = got_[0];
    got_.clear();
    return d;
  }

  net_test::TestLog log_;
  std::vector<Delivery> got_;
};

TEST_F(WorkerTest, APostCarriesTheBodyRulesAndOnlyItsOwnHeaders) {
  const struct {
    std::string line, body;
  } cases[] = {
      {"", "\r\n"},
      {"abc", "abc"},
      {std::string("ab\0cd", 5), "ab"},
  };
  for (const auto& c : cases) {
    const std::string key = net_test::NewKey();
    const std::string path = "score.php?k=" + key;  // no leading "/": it goes out as written
    Post(Host(), path, Lines({c.line}));
    const Delivery d = Await();
    EXPECT_EQ(d.func, "ok");
    EXPECT_EQ(d.answer, Nul(c.body));
    const auto records = RecordsOf(key);
    ASSERT_EQ(records.size(), 1u);
    const net_test::Record& r = records[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, path);
    EXPECT_EQ(r.body, c.body);
    EXPECT_EQ(r.Header("Content-Length"), std::vector<std::string>{std::to_string(c.body.size())});
    EXPECT_EQ(r.Header("Content-Type"), std::vector<std::string>{"text/plain"});
    EXPECT_EQ(r.Header("User-Agent"), std::vector<std::string>{"HarrowdeepClient"});
    EXPECT_EQ(r.Header("Host"), std::vector<std::string>{Host()});
    EXPECT_EQ(r.HeaderLines().size(), 4u) << r.headers;  // no Accept, no Expect, nothing else
  }
}

TEST_F(WorkerTest, AGetJoinsHostAndPathWithOneSlashAndSendsNoText) {
  for (const std::string lead : {"", "/"}) {
    const std::string key = net_test::NewKey();
    Post(Host(), lead + "list?k=" + key, Lines({"not sent"}), true);
    const Delivery d = Await();
    EXPECT_EQ(d.func, "ok");
    EXPECT_EQ(d.answer, "");  // the echo of no body: no data, so an empty answer
    const auto records = RecordsOf(key);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].method, "GET");
    EXPECT_EQ(records[0].target, "/" + lead + "list?k=" + key);
    EXPECT_EQ(records[0].body, "");
    EXPECT_EQ(records[0].Header("User-Agent"), std::vector<std::string>{"HarrowdeepClient"});
    EXPECT_EQ(records[0].HeaderLines().size(), 2u) << records[0].headers;  // Host, User-Agent
  }
}

TEST_F(WorkerTest, BytesThatAUrlCannotHoldGoOutPercentEncoded) {
  for (bool useGet : {false, true}) {
    const std::string key = net_test::NewKey();
    Post(Host(), "a b\r\nX-Injected: 1\x80?k=" + key, Lines({"x"}), useGet);
    EXPECT_EQ(Await().func, "ok");
    const auto records = RecordsOf(key);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].target, std::string(useGet ? "/" : "") + "a%20b%0D%0AX-Injected:%201%80?k=" + key);
    EXPECT_TRUE(records[0].Header("X-Injected").empty());
  }
}

TEST_F(WorkerTest, TheBodyOfAnyReplyIsTheAnswer) {
  const struct {
    std::string items, answer;
  } cases[] = {
      {"hex=6869", Nul("hi")},  // two bytes arrive as three
      {"status=404&hex=6e6f", Nul("no")},
      {"status=500&hex=4572726f72", Nul("Error")},
      {"redirect", Nul("moved")},  // not followed
      {"empty", ""},
  };
  for (const auto& c : cases) {
    Post(Host(), "r?k=" + net_test::NewKey() + "&" + c.items, Lines({"x"}));
    const Delivery d = Await();
    EXPECT_EQ(d.func, "ok") << c.items;
    EXPECT_EQ(d.answer, c.answer) << c.items;
  }
}

TEST_F(WorkerTest, AFirstAttemptThatFailsIsFollowedByASecond) {
  net_test::TimeScale scale(20);
  const std::string key = net_test::NewKey();
  Post(Host(), "echo?stallfirst=1&k=" + key, Lines({"second"}));
  const Delivery d = Await();
  EXPECT_EQ(d.func, "ok");
  EXPECT_EQ(d.answer, Nul("second"));
  EXPECT_EQ(RecordsOf(key).size(), 2u);  // one request an attempt: the first timed out
}

TEST_F(WorkerTest, SevenFailedAttemptsDeliverTheLastFailureOnce) {
  net_test::TimeScale scale(40);
  const std::string key = net_test::NewKey();
  Post(Host(), "echo?stall&k=" + key, Lines({"x"}));
  const Delivery d = Await();
  EXPECT_EQ(d.func, "err");
  EXPECT_EQ(d.answer, "Error with sending request");
  EXPECT_EQ(RecordsOf(key).size(), 7u);
  net_test::WaitForWorkers();
  net_test::PumpUntil([] { return false; }, 100ms);
  EXPECT_TRUE(got_.empty());
}

TEST_F(WorkerTest, AGetWhoseAnswerTakesLongerThanThePostSendLimitIsSentOnce) {
  // 600 ms at ten times the speed: an answer that comes after 6 s.
  net_test::TimeScale scale(10);
  const std::string key = net_test::NewKey();
  Post(Host(), "slow?delay=600&hex=" + net_test::Hex("late") + "&k=" + key, Lines({"x"}), true);
  const Delivery d = Await(30s);
  EXPECT_EQ(d.func, "ok");
  EXPECT_EQ(d.answer, Nul("late"));
  EXPECT_EQ(RecordsOf(key).size(), 1u);
}

TEST_F(WorkerTest, ARefusedPortEndsWithinTheLimits) {
  net_test::TimeScale scale(40);
  Post(net_test::ClosedHost(), "echo", Lines({"x"}));
  const Delivery post = Await();
  EXPECT_EQ(post.func, "err");
  EXPECT_EQ(post.answer, "Error with sending request");
  Post(net_test::ClosedHost(), "echo", Lines({"x"}), true);
  const Delivery get = Await();
  EXPECT_EQ(get.func, "err");
  EXPECT_EQ(get.answer, "Error with creating connect");
}

TEST_F(WorkerTest, AFailedSendIsTriedAgainAfterAPause) {
  // The server drops every request for 600 ms, well inside the first attempt's 1000 ms, then
  // answers: 100 ms (scaled) between sends allow about 30 sends before the answer. A GET follows
  // the same rule as a POST.
  net_test::TimeScale scale(5);
  for (bool useGet : {false, true}) {
    const std::string key = net_test::NewKey();
    Post(Host(), "echo?dropfor=600&hex=" + net_test::Hex("at last") + "&k=" + key, Lines({"x"}), useGet);
    const Delivery d = Await();
    EXPECT_EQ(d.func, "ok") << "get " << useGet;
    EXPECT_EQ(d.answer, Nul("at last")) << "get " << useGet;
    const std::size_t sends = RecordsOf(key).size();
    EXPECT_GE(sends, 3u) << "get " << useGet;
    EXPECT_LE(sends, 40u) << "get " << useGet;
  }
}

// Replies that carry no answer: cut, stalled or not well-formed HTTP before their headers end,
// each as the items that make the server send it.
std::vector<std::string> CutReplies() {
  std::string noise;
  for (unsigned i = 0; i < 200; ++i) noise += static_cast<char>((i * 151 + 17) % 251 + 1);
  const std::string inFirstLine = "raw=" + net_test::Hex("HTTP/1.1 20");
  const std::string interimOnly = "raw=" + net_test::Hex("HTTP/1.1 100 Continue\r\n\r\n");
  return {
      inFirstLine + "&hold",  // then silence
      inFirstLine,            // then the connection closes
      "stallafter=status",
      "stallafter=headers",
      "raw=" + net_test::Hex("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n"),
      interimOnly + "&hold",
      interimOnly,
      "raw=" + net_test::Hex("HTTP/1.1 abc def\r\n\r\nbody"),
      "raw=" + net_test::Hex("HTTP/9.9 200\r\n\r\nbody"),
      "raw=" + net_test::Hex("this is no status line\r\n\r\nbody"),
      "raw=" + net_test::Hex(noise),
      "endless",
      "longheader",
  };
}

// The failure text of a request whose reply came but carried no answer.
std::string NoAnswerFailure(bool useGet) {
  return useGet ? "Error with creating connect" : "Error with sending request";
}

TEST_F(WorkerTest, AReplyCutBeforeItsHeadersEndIsHeardOnceAsAFailureAndNeverResent) {
  // Seven attempts of the fault would take 35 s (POST) or 210 s (GET) at real speed; here the
  // send limit is 1 s, so that a loaded machine still begins every reply within it, and the
  // idle limit 6 s. All requests at once, each with a callback of its own.
  net_test::TimeScale scale(5);
  struct Case {
    std::string items, key;
    bool useGet;
    std::vector<Delivery> got;
  };
  std::vector<Case> cases;
  for (const std::string& items : CutReplies()) {
    for (bool useGet : {false, true}) cases.push_back({items, net_test::NewKey(), useGet, {}});
  }
  for (Case& c : cases) {
    TKeshConnect::Create(
        [&c](const std::string& func, const std::string& answer) {
          c.got.push_back({func, answer, platform::win32::IsMainThread()});
        },
        "ok", "err", Host(), "cut?k=" + c.key + "&" + c.items, Lines({"x"}), c.useGet);
  }
  net_test::PumpUntil(
      [&] { return std::all_of(cases.begin(), cases.end(), [](const Case& c) { return !c.got.empty(); }); }, 60s);
  net_test::WaitForWorkers();
  for (const Case& c : cases) {
    ASSERT_EQ(c.got.size(), 1u) << c.items << " get " << c.useGet;
    EXPECT_EQ(c.got[0].func, "err") << c.items << " get " << c.useGet << ": " << testing::PrintToString(c.got[0].answer);
    EXPECT_EQ(c.got[0].answer, NoAnswerFailure(c.useGet)) << c.items << " get " << c.useGet;
    EXPECT_TRUE(c.got[0].onMainThread);
    EXPECT_EQ(RecordsOf(c.key).size(), 1u) << c.items << " get " << c.useGet;
  }
  EXPECT_NE(log_.Text().find("TKeshConnect " + Host() + ": the reply ended before its headers did"),
            std::string::npos)
      << log_.Text();
}

TEST_F(WorkerTest, FailedSendsWaitLongerEachTime) {
  // Every send is dropped: seven attempts of 5 s, each send after a pause that doubles from
  // 100 ms to 1 s, make about 8 sends an attempt, where a pause of 100 ms made about 40 and no
  // pause at all one.
  net_test::TimeScale scale(10);
  const struct {
    bool useGet;
    const char* failure;
  } cases[] = {{false, "Error with sending request"}, {true, "Error with creating connect"}};
  for (const auto& c : cases) {
    const std::string key = net_test::NewKey();
    Post(Host(), "echo?drop&k=" + key, Lines({"x"}), c.useGet);
    const Delivery d = Await(60s);
    EXPECT_EQ(d.func, "err");
    EXPECT_EQ(d.answer, c.failure);
    const std::size_t sends = RecordsOf(key).size();
    EXPECT_GE(sends, 14u) << "get " << c.useGet;
    EXPECT_LE(sends, 70u) << "get " << c.useGet;
  }
}

TEST_F(WorkerTest, ABodyThatStallsIsSentOnceAndWhatCameIsTheAnswerWithinTheReadingLimits) {
  // Seven attempts of the fault would take 35 s (POST) or 210 s (GET); the idle limit 30 s.
  net_test::TimeScale scale(40);
  for (bool useGet : {false, true}) {
    const std::string key = net_test::NewKey();
    Post(Host(), "stalled?k=" + key + "&stallafter=chunk", Lines({"x"}), useGet);
    const Delivery d = Await(60s);
    EXPECT_EQ(d.func, "ok") << " get " << useGet;
    EXPECT_EQ(d.answer, Nul("part")) << " get " << useGet;
    EXPECT_EQ(RecordsOf(key).size(), 1u) << " get " << useGet;
  }
  EXPECT_NE(log_.Text().find("TKeshConnect " + Host() + ": the answer stopped after 30 s without data"),
            std::string::npos);
}

TEST_F(WorkerTest, AHostTextThatCouldSteerTheRequestIsRefusedBeforeAnythingIsSent) {
  const std::string hosts[] = {
      "user@" + Host(),          Host() + "/elsewhere", Host() + "\r\nX-Injected: 1", Host() + " ",
      Host() + "?x",             Host() + "#x",         Host() + std::string("\0x", 2), "",
  };
  for (const std::string& host : hosts) {
    for (bool useGet : {false, true}) {
      const std::string key = net_test::NewKey();
      Post(host, "p?k=" + key, Lines({"x"}), useGet);
      const Delivery d = Await();
      EXPECT_EQ(d.func, "err") << testing::PrintToString(host);
      EXPECT_EQ(d.answer, "Error with creating connect") << testing::PrintToString(host);
      EXPECT_TRUE(RecordsOf(key).empty()) << testing::PrintToString(host);
    }
  }
}

TEST_F(WorkerTest, ReadingStopsAtItsLimitsAndDeliversWhatCame) {
  const struct {
    const char* items;
    platform::win32::DWORD scale;
    const char* warning;
  } cases[] = {
      {"forever", 1, "the answer stopped at 64 MiB; the rest was not read"},
      {"trickle=1500", 40, "the answer stopped after 30 s without data"},
      {"trickle=50", 40, "the answer stopped at the read limit of 120 s"},
      {"cut", 1, "the connection closed before the whole answer arrived"},
  };
  for (const auto& c : cases) {
    net_test::TimeScale scale(c.scale);
    Post(Host(), std::string("r?k=") + net_test::NewKey() + "&" + c.items, Lines({"x"}));
    const Delivery d = Await(60s);
    EXPECT_EQ(d.func, "ok") << c.items;
    ASSERT_FALSE(d.answer.empty()) << c.items;
    EXPECT_EQ(d.answer.back(), '\0');
    const std::string data = d.answer.substr(0, d.answer.size() - 1);
    if (std::string(c.items) == "forever") {
      EXPECT_EQ(data.size(), kAnswerSizeCap);
      EXPECT_EQ(data.find_first_not_of('x'), std::string::npos);
    } else if (std::string(c.items) == "cut") {
      EXPECT_EQ(data, "0123456789");
    } else {
      EXPECT_EQ(data.find_first_not_of('t'), std::string::npos) << c.items;
      // Far fewer than a minute of a byte every 50 ms; one byte before the idle limit.
      EXPECT_LT(data.size(), std::string(c.items) == "trickle=50" ? 200u : 2u) << c.items;
    }
    EXPECT_NE(log_.Text().find("TKeshConnect " + Host() + ": " + c.warning), std::string::npos) << c.items;
  }
}

TEST_F(WorkerTest, ManyRequestsInFlightDeliverEachAnswerOnceOnTheMainThread) {
  const std::string key = net_test::NewKey();
  std::set<std::string> expected;
  for (int i = 0; i < 24; ++i) {
    const std::string body = "answer " + std::to_string(i);
    expected.insert(Nul(body));
    Post(Host(), "echo?delay=200&k=" + key, Lines({body}));
  }
  int frames = 0;
  ASSERT_TRUE(net_test::PumpUntil([&] { return got_.size() >= 24; }, 30s, &frames));
  net_test::WaitForWorkers();
  ASSERT_EQ(got_.size(), 24u);
  std::set<std::string> answers;
  for (const Delivery& d : got_) {
    EXPECT_TRUE(d.onMainThread);
    EXPECT_EQ(d.func, "ok");
    answers.insert(d.answer);
  }
  EXPECT_EQ(answers, expected);
  EXPECT_GT(frames, 24);  // the loop kept turning while the answers were on their way
  int most = 0;
  for (const auto& r : RecordsOf(key)) most = std::max(most, r.active);
  EXPECT_GT(most, 1);  // they were served side by side
}

TEST_F(WorkerTest, BigAnswersThatArriveTogetherAreDeliveredInTurnsOfTheirOwn) {
  // Large is counted in the answer's bytes, not with the NUL after them.
  const struct {
    std::size_t size;
    std::size_t turns;
  } cases[] = {{kLargeAnswer - 1, 1}, {kLargeAnswer, 3}};
  for (const auto& c : cases) {
    const std::string key = net_test::NewKey();
    int turns = 0;
    std::vector<int> deliveredAt;
    std::vector<std::size_t> sizes;
    for (int i = 0; i < 3; ++i) {
      TKeshConnect::Create(
          [&](const std::string&, const std::string& answer) {
            deliveredAt.push_back(turns);
            sizes.push_back(answer.size());
          },
          "ok", "err", Host(), "big?size=" + std::to_string(c.size) + "&k=" + key, Lines({"x"}), false);
    }
    // The loop is held until all three have been read and wait for it together.
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(net_test::PumpUntil([&] { return deliveredAt.size() >= 3; }, 20s, &turns));
    EXPECT_EQ(std::set<int>(deliveredAt.begin(), deliveredAt.end()).size(), c.turns) << c.size;
    EXPECT_EQ(sizes, std::vector<std::size_t>(3, c.size + 1));
    net_test::WaitForWorkers();
  }
}

TEST_F(WorkerTest, AnswersHoldNoMoreThanTheirRoomTogetherAndWaitForItWithoutFailing) {
  // Eight answers of 3 MB in a room of 8 MiB, the loop held for 140 s of the stand-in's clock:
  // the first answers wait for the loop, the others for room, past both reading limits. (GETs,
  // whose wait for the reply is the 30 s of reading, not the 5 s of a POST's send.)
  net_test::TimeScale scale(40);
  net_testing::SetAnswerRoom(8 << 20);
  const std::string key = net_test::NewKey();
  for (int i = 0; i < 8; ++i) Post(Host(), "big?size=3000000&k=" + key, Lines({"x"}), true);
  std::this_thread::sleep_for(3500ms);
  ASSERT_TRUE(net_test::PumpUntil([&] { return got_.size() >= 8; }, 30s));
  net_test::WaitForWorkers();
  for (const Delivery& d : got_) {
    EXPECT_EQ(d.func, "ok");
    EXPECT_EQ(d.answer.size(), 3000001u);
  }
  got_.clear();
  // The room, and what the oldest reader may take past it: its 4 MiB of pages and its answer.
  EXPECT_LE(net_testing::AnswerRoomPeak(), std::size_t{(8 + 4) << 20} + 3000001) << net_testing::AnswerRoomPeak();
  EXPECT_EQ(log_.Text().find("the answer stopped"), std::string::npos) << log_.Text();
}

TEST_F(WorkerTest, AnAnswerThatFindsNoMemoryIsHeardOnceAsAFailureAndNeverResent) {
  // Pages of 1 MiB at most: a small answer fits, one of 3 MB does not.
  net_testing::SetAnswerMemoryLimit(1 << 20);
  const struct {
    std::string items;
    bool useGet;
    std::string func, answer;
  } cases[] = {
      {"hex=6869", false, "ok", Nul("hi")},
      {"size=3000000", false, "err", "Error with sending request"},
      {"size=3000000", true, "err", "Error with creating connect"},
  };
  for (const auto& c : cases) {
    const std::string key = net_test::NewKey();
    Post(Host(), "r?k=" + key + "&" + c.items, Lines({"x"}), c.useGet);
    const Delivery d = Await();
    EXPECT_EQ(d.func, c.func) << c.items << " get " << c.useGet;
    EXPECT_EQ(d.answer, c.answer) << c.items << " get " << c.useGet;
    EXPECT_EQ(RecordsOf(key).size(), 1u) << c.items << " get " << c.useGet;
  }
  EXPECT_NE(log_.Text().find("TKeshConnect " + Host() + ": not enough memory for the answer"), std::string::npos);
  const std::string key = net_test::NewKey();
  std::string answer = "unset";
  HttpPostText(Host(), "r?k=" + key + "&size=3000000", Lines({"x"}), answer);
  EXPECT_EQ(answer, "");
  EXPECT_EQ(RecordsOf(key).size(), 1u);
}

TEST_F(WorkerTest, AnAnswerIsPreparedOnTheWorkerAndAFailureTextIsNot) {
  std::vector<bool> preparedOnMain;
  auto post = [&](const std::string& host, const std::string& path, bool noMemory = false) {
    TKeshConnect::Create(
        [this](const std::string& func, std::string answer) {
          got_.push_back({func, std::move(answer), platform::win32::IsMainThread()});
        },
        "ok", "err", host, path, Lines({"abc"}), false, [&, noMemory](std::string answer) {
          preparedOnMain.push_back(platform::win32::IsMainThread());
          if (noMemory) throw std::bad_alloc();
          return "<" + answer + ">";
        });
  };
  post(Host(), "echo?k=" + net_test::NewKey());
  EXPECT_EQ(Await().answer, "<" + Nul("abc") + ">");
  EXPECT_EQ(preparedOnMain, std::vector<bool>{false});
  // No memory to make the answer into the script's text: heard once, as an answer that finds no
  // memory while it is read.
  const std::string key = net_test::NewKey();
  post(Host(), "echo?k=" + key, true);
  const Delivery d = Await();
  EXPECT_EQ(d.func, "err");
  EXPECT_EQ(d.answer, "Error with sending request");
  EXPECT_EQ(RecordsOf(key).size(), 1u);
  EXPECT_NE(log_.Text().find("TKeshConnect " + Host() + ": not enough memory for the answer"), std::string::npos);
  net_test::TimeScale scale(40);
  post(net_test::ClosedHost(), "echo");
  EXPECT_EQ(Await().answer, "Error with sending request");
  EXPECT_EQ(preparedOnMain.size(), 2u);
}

TEST_F(WorkerTest, PastTheBoundANewRequestWaitsForAFreeSlot) {
  net_testing::SetMaxRequestsInFlight(3);
  const std::string key = net_test::NewKey();
  for (int i = 0; i < 9; ++i) Post(Host(), "echo?delay=100&k=" + key, Lines({std::to_string(i)}));
  EXPECT_EQ(TKeshConnect::InFlight(), 9u);
  ASSERT_TRUE(net_test::PumpUntil([&] { return got_.size() >= 9; }, 30s));
  net_test::WaitForWorkers();
  std::set<std::string> answers;
  for (const Delivery& d : got_) answers.insert(d.answer);
  EXPECT_EQ(answers.size(), 9u);
  for (const auto& r : RecordsOf(key)) EXPECT_LE(r.active, 3);
}

TEST_F(WorkerTest, AWorkerThatCannotStartDeliversTheOpeningFailureAtOnce) {
  net_testing::FailThreadStarts(true);
  Post(Host(), "echo", Lines({"x"}));
  ASSERT_EQ(got_.size(), 1u);  // before Create returned
  EXPECT_EQ(got_[0].func, "err");
  EXPECT_EQ(got_[0].answer, "Error with opening internet");
  EXPECT_EQ(TKeshConnect::InFlight(), 0u);
  got_.clear();
}

TEST_F(WorkerTest, TheLimitsIgnoreTheGameClock) {
  // A tick count that leaps ahead at every reading, as the game clock does when a loading phase
  // ends: limits measured on it would fail every send at once.
  static std::atomic<platform::win32::DWORD> tick{0};
  platform::win32::seam::SetTickSource([] { return tick += 100000; });
  Post(Host(), "echo?delay=50&k=" + net_test::NewKey(), Lines({"steady"}));
  const Delivery d = Await();
  platform::win32::seam::SetTickSource({});
  EXPECT_EQ(d.func, "ok");
  EXPECT_EQ(d.answer, Nul("steady"));
}

TEST(HttpPostTextTest, PostsOnceFromTheCallingThread) {
  net_test::TestLog log;
  const struct {
    std::string host, items;
    platform::win32::DWORD scale;
    std::string answer;
  } cases[] = {
      {Host(), "echo", 1, Nul("abc")},
      {Host(), "hex=4572726f72", 1, Nul("Error")},
      {"no host", "echo", 1, "Error"},  // the connection cannot be made
      {net_test::ClosedHost(), "echo", 100, ""},  // never sent: nothing read
      {Host(), "stall", 100, ""},
  };
  {
    net_test::TimeScale scale(40);
    const std::string key = net_test::NewKey();
    std::string answer = "unset";
    HttpPostText(Host(), "p?k=" + key + "&stallafter=chunk", Lines({"abc"}), answer);
    EXPECT_EQ(answer, Nul("part"));
    EXPECT_EQ(RecordsOf(key).size(), 1u);
  }
  for (const std::string& items : CutReplies()) {
    // Sent once, and nothing could be read: the poster's empty answer. (A send limit of 750 ms,
    // an idle limit of 1.5 s.)
    net_test::TimeScale scale(20);
    const std::string key = net_test::NewKey();
    std::string answer = "unset";
    HttpPostText(Host(), "p?k=" + key + "&" + items, Lines({"abc"}), answer);
    EXPECT_EQ(answer, "") << items;
    EXPECT_EQ(RecordsOf(key).size(), 1u) << items;
  }
  for (const auto& c : cases) {
    net_test::TimeScale scale(c.scale);
    const std::string key = net_test::NewKey();
    std::string answer = "unset";
    HttpPostText(c.host, "p?k=" + key + "&" + c.items, Lines({"abc"}), answer);
    EXPECT_EQ(answer, c.answer) << c.host << " " << c.items;
    if (c.items == "echo" && c.host == Host()) {
      const auto records = RecordsOf(key);
      ASSERT_EQ(records.size(), 1u);
      EXPECT_EQ(records[0].method, "POST");
      EXPECT_EQ(records[0].Header("User-Agent"), std::vector<std::string>{"HarrowdeepClient"});
    }
  }
  EXPECT_EQ(platform::wininet::testing::OpenHandles(), 0u);
}

}  // namespace
