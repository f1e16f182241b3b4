// End to end through the built program: the per-user folder of a player without "APPDATA"
// (~/.local/share/Dunmarrow/<project>/), a profile that one run saves and the next reads, and
// the splash pictures found in the program folder that CreateAppDataFolder sets.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "program_run.h"

namespace {

namespace fs = std::filesystem;
using game_test::Tail;

TEST(AppDataProgramTest, AProfileSavedByOneRunIsReadByTheNext) {
  const fs::path root = game_test::NewFolder("profile");
  const fs::path folder = root / "home" / ".local" / "share" / "Dunmarrow" / "ProfileGame";
  for (const char* seen : {"profile: []", "profile: [runs!1!]", "profile: [runs!2!]"}) {
    const game_test::ProgramRun run = game_test::RunProgram("profile", root, /*withAppData=*/false);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
    EXPECT_NE(run.errors.find(seen), std::string::npos) << seen << Tail(run.errors);
  }
  // The player's files, and the log from CreateAppDataFolder on.
  EXPECT_TRUE(fs::is_regular_file(folder / "ZazoData.cfg"));
  EXPECT_EQ(game_test::ReadFile(folder / "GameParams.txt"), "Fullscreen=false\r\nsound=on\r\n");
  EXPECT_NE(game_test::ReadFile(folder / "ProfileGame.log").find("TMainForm.A_SetParamsToCode"), std::string::npos);
  EXPECT_EQ(game_test::ReadFile(root / "game" / "Log.txt").find("TMainForm.A_SetParamsToCode"), std::string::npos);
}

TEST(AppDataProgramTest, TheSplashPicturesAreFoundInTheProgramFolder) {
  const game_test::ProgramRun run = game_test::RunProgram("splash", game_test::NewFolder("splash"));
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  EXPECT_NE(run.errors.find("splash: first.png,second.PNG\n"), std::string::npos) << Tail(run.errors);
  EXPECT_EQ(run.logs.find("cannot be read"), std::string::npos) << Tail(run.logs);
}

}  // namespace
