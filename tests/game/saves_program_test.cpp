// End to end through the built program: saves beside a script's own file that looks like a
// temporary, on a file system that makes no links (as FAT and exFAT), and of a profile whose
// unreadable versions have been kept so often that every copy name is taken.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/CUnit.h"
#include "game/AssArray.h"
#include "program_run.h"
#include "runtime/Streams.h"

namespace {

namespace fs = std::filesystem;
using game_test::Scramble;
using game_test::Tail;

// A scrambled profile file whose text has LF-only lines: it does not read back.
std::string CorruptProfile() { return Scramble("1level=3\n"); }

struct SavesGame {
  fs::path root, game, folder;
};

SavesGame PrepareSaves(const std::string& name) {
  SavesGame g;
  g.root = game_test::NewFolder(name);
  game_test::PrepareGame("saves", g.root);
  g.game = g.root / "game";
  g.folder = g.root / "home" / "AppData" / "Dunmarrow" / "SavesGame";
  game_test::WriteFile(g.folder / "Profile.txt", CorruptProfile());
  return g;
}

void SetAge(const fs::path& path, time_t secondsAgo) {
  const time_t when = time(nullptr) - secondsAgo;
  const utimbuf times{when, when};
  ASSERT_EQ(utime(path.c_str(), &times), 0) << path;
}

TEST(SavesProgramTest, SavesLandWithoutLinksAndKeepAScriptsOwnLookalikeFile) {
  const std::string strace = game_test::StraceThatInjects("link:error=EPERM");
  if (strace.empty()) {
    GTEST_SKIP() << "strace cannot inject faults here (not installed, or tracing is not permitted)";
  }
  const std::vector<std::string> noLinks = {strace, "-f", "-qq", "-o", "/dev/null",
                                            "-e", "inject=linkat:error=EPERM", "-e", "inject=link:error=EPERM"};
  std::vector<std::string> noLinksNorExclusiveRename = noLinks;
  noLinksNorExclusiveRename.insert(noLinksNorExclusiveRename.end(), {"-e", "inject=renameat2:error=EINVAL"});
  const struct {
    const char* label;
    std::vector<std::string> wrapper;
  } cases[] = {
      {"a file system with links", {}},
      {"no links", noLinks},
      {"no links, and no rename that keeps an existing name", noLinksNorExclusiveRename},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const SavesGame g = PrepareSaves("saves");
    const game_test::ProgramRun run =
        game_test::FinishProgram(game_test::StartProgram("saves", g.root, true, {}, std::nullopt, c.wrapper), g.root);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
    EXPECT_NE(run.errors.find("saved"), std::string::npos) << Tail(run.errors);
    EXPECT_EQ(run.logs.find("ERROR !!!"), std::string::npos) << Tail(run.logs);
    // The script's own file of a temporary's form stays beside the file saved after it.
    EXPECT_EQ(game_test::ReadFile(g.game / ".save.txt.99999-1.tmp"), "a script's own");
    EXPECT_EQ(game_test::ReadFile(g.game / "save.txt"), "second");
    // The unreadable profile file is kept under a new name and the save replaces it.
    EXPECT_EQ(game_test::ReadFile(g.folder / "Profile.txt.corrupt"), CorruptProfile());
    EXPECT_EQ(game_test::ReadFile(g.folder / "Profile.txt"), Scramble("1level=9\r\n"));
    EXPECT_EQ(game_test::ReadFile(g.folder / "ZazoData.cfg"), Scramble("name=Bea\r\n"));
    EXPECT_EQ(game_test::LeftoverTemporaries(g.folder, "Profile.txt"), 0);
    EXPECT_EQ(game_test::LeftoverTemporaries(g.folder, "Profile.txt.corrupt"), 0);
  }
}

TEST(SavesProgramTest, WhenEveryCorruptCopyNameIsTakenTheOldestCopyGivesItsName) {
  const SavesGame g = PrepareSaves("corrupt101");
  // A link on the first name, to an old file outside: never a copy to reuse.
  game_test::WriteFile(g.root / "outside.txt", "not the game's");
  SetAge(g.root / "outside.txt", 9000);
  fs::create_symlink(g.root / "outside.txt", g.folder / "Profile.txt.corrupt");
  for (int n = 2; n <= 100; ++n) {  // the game keeps at most 100 copies
    const fs::path copy = g.folder / ("Profile.txt.corrupt" + std::to_string(n));
    game_test::WriteFile(copy, "copy " + std::to_string(n));
    SetAge(copy, n == 37 ? 5000 : 100 + n);
  }
  const game_test::ProgramRun run = game_test::RunProgram("saves", g.root);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  EXPECT_EQ(game_test::ReadFile(g.folder / "Profile.txt"), Scramble("1level=9\r\n")) << Tail(run.logs);
  EXPECT_EQ(game_test::ReadFile(g.folder / "Profile.txt.corrupt37"), CorruptProfile());
  EXPECT_NE(run.logs.find("Profile.txt.corrupt37\""), std::string::npos) << Tail(run.logs);
  EXPECT_EQ(game_test::ReadFile(g.folder / "Profile.txt.corrupt38"), "copy 38");
  EXPECT_EQ(game_test::ReadFile(g.root / "outside.txt"), "not the game's");
  EXPECT_TRUE(fs::is_symlink(g.folder / "Profile.txt.corrupt"));
  EXPECT_FALSE(fs::exists(g.folder / "Profile.txt.corrupt101"));
}

}  // namespace
