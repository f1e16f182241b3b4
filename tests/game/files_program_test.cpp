// End to end through the built program: a game that keeps its own script log, rewrites one of
// its loose script files and reloads it; the test reads the script log back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "program_run.h"

namespace {

namespace fs = std::filesystem;
using game_test::Tail;

TEST(FilesProgramTest, AReloadedScriptRunsFromTheNextFrameAndTheScriptLogTellsSo) {
  const fs::path root = game_test::NewFolder("reload");
  game_test::PrepareGame("reload", root);
  // The loose script file that the reload reads: at the start the same text as the bundle.
  fs::copy_file(root / "game" / "data" / "AllLua.lua", root / "game" / "Game.lua");
  const game_test::ProgramRun run = game_test::RunProgram("reload", root);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);

  const fs::path log = root / "home" / "AppData" / "Dunmarrow" / "ReloadGame" / "script.log";
  EXPECT_EQ(game_test::ReadFile(log), "started en\r\nold frame 1\r\nkey 116 0\r\nnew frame\r\n") << Tail(run.logs);
  // The rewritten file as the game wrote it, and the joined text saved beside it.
  const std::string rewritten = game_test::ReadFile(root / "game" / "Game.lua");
  EXPECT_EQ(rewritten.rfind("function A_KeyDown", 0), 0u);
  EXPECT_EQ(game_test::ReadFile(root / "game" / "AllLua.lua"),
            "-- the interface templates come first\r\n"
            "function A_KeyDown(key, ch) WriteToLogFile(\"key \" .. key .. \" \" .. ch) end\r\n"
            "function A_Update() WriteToLogFile(\"new frame\") QuitGame() end\r\n");
  EXPECT_NE(run.logs.find("LoadFromFile Game.lua"), std::string::npos) << Tail(run.logs);
  EXPECT_NE(run.logs.find("LoadFromFile KeshInterfaceTemplatesEngine.lua"), std::string::npos);
}

}  // namespace
