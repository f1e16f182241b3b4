// DataToFile killed at random moments: the file must always hold one of the texts, whole, and
// nothing but its one fixed temporary may be left beside it.
#include <gtest/gtest.h>

#include <filesystem>
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
        // At most the one temporary beside it, which the next write takes over.
        for (const auto& entry : fs::directory_iterator(dir)) {
          const std::string name = entry.path().filename().string();
          EXPECT_TRUE(name == "save.txt" || name == "save.txt.tmp") << "kill " << kill << " left " << name;
        }
      });
}
