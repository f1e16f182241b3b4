// End to end through the built program, run as an ordinary user (root reads and writes through
// any file mode): store files the player cannot read or made read-only are never replaced, and
// files that exist in a folder that takes no new file are rewritten where they stand.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "foundation/CUnit.h"
#include "game/AssArray.h"
#include "program_run.h"
#include "runtime/Streams.h"

namespace {

namespace fs = std::filesystem;
using game_test::Tail;

std::string Scramble(const std::string& bytes) {
  rtl::TMemoryStream source, dest;
  source.WriteString(bytes);
  ScrambleStream(source, dest, tAssArray::kScrambleKey);
  return dest.ToString();
}

unsigned ModeOf(const fs::path& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFFu;
}

bool HasLine(const std::string& text, const std::string& a, const std::string& b) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return true;
    start = end + 1;
  }
  return false;
}

// The stores' files after the fixture's saves.
std::vector<std::pair<std::string, std::string>> SavedFiles() {
  return {{"GameParams.txt", "sound=off\r\n"},
          {"ZazoData.cfg", Scramble("name=Bea\r\n")},
          {"Profile.txt", Scramble("1level=9\r\n")}};
}

TEST(StoreProgramTest, AStoreFileThePlayerCannotReadOrMadeReadOnlyIsNeverReplaced) {
  std::string why;
  const auto user = game_test::OrdinaryUser(why);
  if (!user) GTEST_SKIP() << why;
  const struct {
    const char* label;
    const char* file;
    unsigned mode;
    bool ownedByRoot;  // another user's file: only when the tests run as root
    const char* readBack;  // standard error of the next start, once the player has fixed it
  } cases[] = {
      {"an unreadable profile file", "ZazoData.cfg", 0000, false, "profile: [name!Ann!1level!9!]"},
      {"an unreadable second profile file", "Profile.txt", 0000, false, "profile: [name!Bea!1level!3!]"},
      {"another user's profile file", "ZazoData.cfg", 0600, true, "profile: [name!Ann!1level!9!]"},
      {"a read-only parameter file", "GameParams.txt", 0444, false, "params: [1,sound,on]"},
      {"a read-only profile file", "ZazoData.cfg", 0444, false, "profile: [name!Ann!1level!9!]"},
      {"a read-only second profile file", "Profile.txt", 0444, false, "profile: [name!Bea!1level!3!]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.ownedByRoot && getuid() != 0) continue;
    const fs::path root = game_test::NewFolder("stores");
    game_test::PrepareGame("stores", root);
    const fs::path folder = root / "home" / "AppData" / "Dunmarrow" / "StoreGame";
    game_test::WriteFile(folder / "GameParams.txt", "sound=on\r\n");
    game_test::WriteFile(folder / "ZazoData.cfg", Scramble("name=Ann\r\n"));
    game_test::WriteFile(folder / "Profile.txt", Scramble("1level=3\r\n"));
    game_test::GiveTo(root, *user);
    const fs::path file = folder / c.file;
    const std::string old = game_test::ReadFile(file);
    if (c.ownedByRoot) {
      ASSERT_EQ(lchown(file.c_str(), 0, 0), 0);
    }
    fs::permissions(file, static_cast<fs::perms>(c.mode));

    const game_test::ProgramRun run = game_test::RunProgram("stores", root, true, {}, user);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
    EXPECT_NE(run.errors.find("saved"), std::string::npos) << "the game goes on" << Tail(run.errors);
    EXPECT_EQ(game_test::ReadFile(file), old);
    EXPECT_EQ(ModeOf(file), c.mode);
    // The save fails with an error naming the file; the other files are saved.
    EXPECT_TRUE(HasLine(run.logs, "ERROR !!!", std::string("StoreGame\\") + c.file)) << Tail(run.logs);
    for (const auto& [other, saved] : SavedFiles()) {
      if (other != c.file) {
        EXPECT_EQ(game_test::ReadFile(folder / other), saved) << other;
      }
    }
    EXPECT_FALSE(fs::exists(folder / (std::string(c.file) + ".tmp")));

    // Fixed by the player, the file is read by the next start.
    fs::permissions(file, static_cast<fs::perms>(0644));
    if (c.ownedByRoot) {
      ASSERT_EQ(lchown(file.c_str(), user->uid, user->gid), 0);
    }
    const game_test::ProgramRun next = game_test::RunProgram("stores", root, true, {}, user);
    ASSERT_TRUE(next.ended);
    EXPECT_NE(next.errors.find(c.readBack), std::string::npos) << Tail(next.errors);
  }
}

TEST(StoreProgramTest, FilesInAFolderThatTakesNoNewFileAreRewrittenInPlace) {
  std::string why;
  const auto user = game_test::OrdinaryUser(why);
  if (!user) GTEST_SKIP() << why;
  const fs::path root = game_test::NewFolder("inplace");
  game_test::PrepareGame("inplace", root);
  const fs::path game = root / "game", folder = root / "home" / "AppData" / "Dunmarrow" / "InPlaceGame";
  game_test::WriteFile(folder / "InPlaceGame.log", "STALE LOG\r\n");
  game_test::WriteFile(folder / "script.log", "STALE SCRIPT LOG, LONGER THAN ITS NEW TEXT\r\n");
  game_test::WriteFile(game / "data.txt", "STALE DATA, LONGER THAN ITS NEW TEXT");
  game_test::GiveTo(root, *user);
  fs::permissions(folder, static_cast<fs::perms>(0555));
  fs::permissions(game, static_cast<fs::perms>(0555));

  const game_test::ProgramRun run = game_test::RunProgram("inplace", root, true, {}, user);
  fs::permissions(folder, static_cast<fs::perms>(0755));
  fs::permissions(game, static_cast<fs::perms>(0755));
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  const std::string log = game_test::ReadFile(folder / "InPlaceGame.log");
  EXPECT_EQ(log.rfind(std::string(80, '='), 0), 0u) << log.substr(0, 200);
  EXPECT_EQ(log.find("STALE"), std::string::npos);
  EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
  EXPECT_EQ(run.errors.find("cannot be written"), std::string::npos) << Tail(run.errors);
  EXPECT_EQ(game_test::ReadFile(folder / "script.log"), "new line\r\n");
  EXPECT_EQ(game_test::ReadFile(game / "data.txt"), "new text");
}

}  // namespace
