// DataToFile killed at random moments: the file must always hold one of the texts, whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "game/main.h"
#include "game_test_support.h"

namespace fs = std::filesystem;

TEST(DataToFileCrashTest, KilledWritesLeaveTheOldOrTheNewTextWhole) {
  game_test::UseFreshLog();
  const fs::path dir = game_test::NewFolder("data-crash");
  const fs::path file = dir / "save.txt";
  // Long enough that a write takes a while; the two differ in length and in every byte.
  const std::string texts[2] = {std::string(300000, 'a'), std::string(200000, 'b')};
  game_test::WriteFile(file, texts[0]);

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delayUs(300, 6000);
  for (int kill = 0; kill < 50; ++kill) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      alarm(10);  // ends itself should the parent never come back for it
      TMainForm form;
      form.LuaHost = std::make_unique<TMyLua>(false);
      form.LuaHost->RegisterFunctions(&form);
      const std::string loop = "local a, b = string.rep('a', 300000), string.rep('b', 200000)\n"
                               "while true do DataToFile('" + file.string() + "', a) DataToFile('" +
                               file.string() + "', b) end\n";
      form.LuaHost->DoString(loop.c_str());
      _exit(1);
    }
    usleep(static_cast<useconds_t>(delayUs(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer ended by itself";
    const std::string now = game_test::ReadFile(file);
    EXPECT_TRUE(now == texts[0] || now == texts[1]) << "kill " << kill << ": " << now.size() << " bytes";
  }
}
