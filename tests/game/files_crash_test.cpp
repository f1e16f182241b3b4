// DataToFile killed at random moments: the file must always hold one of the texts, whole, and
// nothing but at most one hidden temporary may be left beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
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

  game_test::KillAtRandomMoments(
      100, 300, 20000,
      [&](int) {
        TMainForm form;
        form.LuaHost = std::make_unique<TMyLua>(false);
        form.LuaHost->RegisterFunctions(&form);
        const std::string loop = "local a, b = string.rep('a', 300000), string.rep('b', 200000)\n"
                                 "while true do DataToFile('" + file.string() + "', a) DataToFile('" +
                                 file.string() + "', b) end\n";
        form.LuaHost->DoString(loop.c_str());
      },
      [&](int kill) {
        const std::string now = game_test::ReadFile(file);
        EXPECT_TRUE(now == texts[0] || now == texts[1]) << "kill " << kill << ": " << now.size() << " bytes";
        // At most one hidden temporary beside it, which the next write removes.
        const int left = game_test::LeftoverTemporaries(dir, "save.txt");
        EXPECT_LE(left, 1) << "kill " << kill;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1 + left) << "kill " << kill;
      });
}
