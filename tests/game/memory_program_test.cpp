// End to end through the built program: a script runs short of memory (a malloc that fails one
// size, preloaded; or a limit on the address space), recovers with pcall and plays on. The game
// must go on to its own end, status 0 and the log's footer written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

namespace fs = std::filesystem;
using game_test::Tail;

struct TShortCase {
  const char* name;
  const char* script;              // MEMORY_CASE of the fixture
  const char* failingMalloc;       // bytes, or nullptr
  const char* addressSpaceKiB;     // ulimit -v, or nullptr
  std::vector<std::string> heard;  // lines the script writes, in order
};

TEST(MemoryProgramTest, AScriptThatRecoversFromOutOfMemoryPlaysOn) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer owns malloc and reserves more address space than these limits allow";
#endif
  const std::string overflow = "]:31: stack overflow";
  const TShortCase cases[] = {
      {"a 2 MiB array part shrinks to 512 KiB while malloc(524288) fails", "shrink", "524288", nullptr,
       {"shrink: kept its values", "heap block: not enough memory"}},
      {"call records shrink after a caught stack overflow while malloc(800000) fails", "overflow", "800000",
       nullptr, {"overflow: " , overflow, "overflow again: ", overflow}},
      {"a table grows to the limit of 300 MB and shrinks back", "exhaust", nullptr, "300000",
       {"exhausted: not enough memory"}},
      {"a table grows to the limit of 500 MB and shrinks back", "exhaust", nullptr, "500000",
       {"exhausted: not enough memory"}},
      {"the script keeps what it got at 300 MB: no thread for drawing can start", "hold", nullptr, "300000",
       {"exhausted: not enough memory"}},
  };
  int index = 0;
  for (const TShortCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path root = game_test::NewFolder("memory" + std::to_string(index++));
    std::vector<std::string> env = {std::string("MEMORY_CASE=") + c.script};
    std::vector<std::string> wrapper;
    if (c.failingMalloc != nullptr) {
      env.push_back("LD_PRELOAD=" + std::string(QUORREL_FAIL_MALLOC));
      env.push_back(std::string("FAIL_MALLOC_SIZE=") + c.failingMalloc);
    }
    if (c.addressSpaceKiB != nullptr) {
      wrapper = {"/bin/sh", "-c", std::string("ulimit -v ") + c.addressSpaceKiB + " && exec \"$0\""};
    }
    const game_test::ProgramRun run = game_test::FinishProgram(
        game_test::StartProgram("memory", root, true, env, std::nullopt, wrapper), root);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << Tail(run.errors) << Tail(run.logs);
    std::size_t at = 0;
    for (const std::string& line : c.heard) {
      at = run.errors.find(line, at);
      EXPECT_NE(at, std::string::npos) << "not heard: " << line << Tail(run.errors);
    }
    EXPECT_NE(run.errors.find("played on: 30"), std::string::npos) << Tail(run.errors) << Tail(run.logs);
    EXPECT_NE(run.logs.find("[ Errors : 0 ,"), std::string::npos) << "no footer, or errors" << Tail(run.logs);
  }
}

}  // namespace
