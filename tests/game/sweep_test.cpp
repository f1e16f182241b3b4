// End to end: the built program runs the fixture game data/sweep, whose script calls every
// operation the runtime registered with hostile arguments (no arguments, nil, odd strings, NaN,
// infinities, numbers past the 32-bit range, tables, 30 arguments), once before the game has a
// device and once with one. A script error is an operation's answer to bad arguments and is
// fine; the program must neither crash, trip a sanitizer nor hang, and must end with exit code 0
// through QuitGame after its last call.
// The run happens in a scratch copy of the fixture (program_run.h).
#include <gtest/gtest.h>

#include <string>

#include "game/main.h"
#include "program_run.h"

namespace {

using game_test::Tail;

TEST(HostileArgumentSweepTest, EveryOperationSurvivesHostileArgumentsThroughTheProgram) {
  const game_test::ProgramRun run = game_test::RunProgram("sweep", game_test::NewFolder("sweep"));
  ASSERT_TRUE(run.ended) << "no end within the guard; last progress:" << Tail(run.errors);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  for (const char* report : {"runtime error:", "AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer"}) {
    EXPECT_EQ(run.errors.find(report), std::string::npos) << report << Tail(run.errors);
  }

  // Both rounds reached every operation that the registration table publishes, and the last
  // calls ended the program.
  const std::string count = std::to_string(TMainForm::Published.Operations.size()) + " operations";
  for (const std::string& mark : {"sweep: round 1 done, " + count, "sweep: round 2 done, " + count,
                                  std::string("sweep: finished")}) {
    EXPECT_NE(run.logs.find(mark), std::string::npos) << mark << Tail(run.logs) << Tail(run.errors);
  }
  EXPECT_NE(run.logs.find("TMainForm.QuitGame"), std::string::npos) << Tail(run.logs);
  EXPECT_EQ(run.logs.find("sweep: QuitGame returned"), std::string::npos);
}

}  // namespace
