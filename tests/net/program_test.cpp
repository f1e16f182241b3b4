// End to end through the built program: a fixture game posts to the loopback server and the
// answer reaches its named function while the frames go on; an answer function that fails is
// reported in the log before the program ends; requests under an address-space limit are each
// sent once. The run happens in a scratch copy of the fixture.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "../game/program_run.h"
#include "net_test_support.h"

namespace {

using game_test::Tail;

// Runs the fixture in Mode with the extra environment entries; under an address-space limit of
// LimitKb when it is not 0.
game_test::ProgramRun RunNetGame(const std::string& mode, const std::string& key = net_test::NewKey(),
                                 std::vector<std::string> env = {}, long limitKb = 0) {
  const std::filesystem::path root = game_test::NewFolder("net-" + mode);
  std::vector<std::string> wrapper;
  if (limitKb != 0) wrapper = {"/bin/sh", "-c", "ulimit -v " + std::to_string(limitKb) + " && exec \"$0\""};
  env.insert(env.end(), {"NET_TEST_HOST=" + net_test::Host(), "NET_TEST_MODE=" + mode, "NET_TEST_KEY=" + key});
  game_test::ProgramRun run =
      game_test::FinishProgram(game_test::StartProgram("net", root, true, env, std::nullopt, wrapper), root);
  for (const char* report : {"runtime error:", "AddressSanitizer", "UndefinedBehaviorSanitizer"}) {
    EXPECT_EQ(run.errors.find(report), std::string::npos) << report << Tail(run.errors);
  }
  return run;
}

TEST(NetProgramTest, TheGameReceivesTheAnswerInItsNamedFunction) {
  const game_test::ProgramRun run = RunNetGame("answer");
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  const std::string mark = "answer: hello from the game after ";
  const std::size_t at = run.errors.find(mark);
  ASSERT_NE(at, std::string::npos) << Tail(run.errors);
  EXPECT_GT(std::stoi(run.errors.substr(at + mark.size())), 0) << "no frame ran while the answer was on its way";
  EXPECT_NE(run.logs.find("ERROR !!! hello from the game"), std::string::npos) << Tail(run.logs);
}

TEST(NetProgramTest, AFailingAnswerFunctionIsReportedBeforeTheEnd) {
  const struct {
    const char* mode;
    const char* report;
  } cases[] = {
      {"missing", "attempt to call a nil value"},
      {"failing", "the answer handler failed on hello from the game"},
  };
  for (const auto& c : cases) {
    const game_test::ProgramRun run = RunNetGame(c.mode);
    ASSERT_TRUE(run.ended) << c.mode;
    EXPECT_EQ(run.exitCode, 0) << c.mode << Tail(run.errors);
    EXPECT_EQ(run.errors.find("no answer"), std::string::npos) << c.mode;
    EXPECT_NE(run.logs.find(c.report), std::string::npos) << c.mode << Tail(run.logs);
  }
}

TEST(NetProgramTest, UnderAnAddressSpaceLimitEachSmallAnswerIsSentOnceAndHeard) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit cannot apply under AddressSanitizer, whose shadow memory alone takes "
                  "terabytes of it";
#else
  // What the game takes without a request, and 200 MiB beside it: room for 16 requests' threads
  // (8 MiB of stack each), the HTTP library and small answers, but not for several answers of
  // 64 MiB at once. One malloc arena for all threads, so that the limit is not spent on the
  // 64 MiB of address space that each thread's own arena would reserve.
  const std::vector<std::string> oneArena = {"MALLOC_ARENA_MAX=1"};
  const game_test::ProgramRun size = RunNetGame("size", net_test::NewKey(), oneArena);
  const std::size_t at = size.errors.find("vm: ");
  ASSERT_NE(at, std::string::npos) << Tail(size.errors);
  const long limitKb = std::stol(size.errors.substr(at + 4)) + 200 * 1024;
  const std::string key = net_test::NewKey();
  const game_test::ProgramRun run = RunNetGame("many", key, oneArena, limitKb);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  EXPECT_NE(run.errors.find("many: 16 heard, 0 failed"), std::string::npos) << limitKb << " kB" << Tail(run.errors);
  std::map<std::string, int> sends;
  for (const net_test::Record& r : net_test::RecordsOf(key)) ++sends[r.body];
  EXPECT_EQ(sends.size(), 16u);
  for (const auto& [body, count] : sends) EXPECT_EQ(count, 1) << "a request was sent " << count << " times";
#endif
}

}  // namespace
