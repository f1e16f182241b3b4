// End to end through the built program: a fixture game posts to the loopback server and the
// answer reaches its named function while the frames go on; an answer function that fails is
// reported in the log before the program ends. The run happens in a scratch copy of the fixture.
#include <gtest/gtest.h>

#include <string>

#include "../game/program_run.h"
#include "net_test_support.h"

namespace {

using game_test::Tail;

game_test::ProgramRun RunNetGame(const std::string& mode) {
  game_test::ProgramRun run = game_test::RunProgram(
      "net", game_test::NewFolder("net-" + mode), true,
      {"NET_TEST_HOST=" + net_test::Host(), "NET_TEST_MODE=" + mode, "NET_TEST_KEY=" + net_test::NewKey()});
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

}  // namespace
