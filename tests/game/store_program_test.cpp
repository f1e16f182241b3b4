// End to end through the built program, run as an ordinary user (root reads and writes through
// any file mode): store files the player cannot read or made read-only are never replaced, and
// files that exist in a folder that takes no new file are rewritten where they stand, but only
// where the disk has room for the new bytes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "foundation/CUnit.h"
#include "game/AssArray.h"
#include "program_run.h"
#include "runtime/Streams.h"

namespace {

namespace fs = std::filesystem;
using game_test::Scramble;
using game_test::Tail;

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

// A small tmpfs on a folder for as long as the object lives. Mounting needs root.
class SmallDisk {
public:
  SmallDisk(const fs::path& folder, const std::string& options) {
    fs::create_directories(folder);
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0) {
      mounted_ = folder;
    } else {
      why_ = std::strerror(errno);
    }
  }
  ~SmallDisk() {
    if (!mounted_.empty()) umount2(mounted_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool Mounted() const { return !mounted_.empty(); }
  const std::string& Why() const { return why_; }

private:
  fs::path mounted_;
  std::string why_;
};

// Fills the disk of Path until it takes no more.
void FillDisk(const fs::path& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  const std::string chunk(1 << 20, 'f');  // a write that meets the end still writes what fits
  while (write(fd, chunk.data(), chunk.size()) > 0) {
  }
  close(fd);
}

ino_t InodeOf(const fs::path& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
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
    EXPECT_EQ(game_test::LeftoverTemporaries(folder, c.file), 0);

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
  const std::string strace = game_test::StraceThatInjects("fallocate:error=EOPNOTSUPP");
  const std::vector<std::string> noFallocate = {strace, "-f", "-qq", "-o", "/dev/null",
                                                "-e", "inject=fallocate:error=EOPNOTSUPP"};
  const struct {
    const char* label;
    std::vector<std::string> wrapper;
  } cases[] = {
      {"a file system that reserves space", {}},
      {"a file system without fallocate", noFallocate},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (!c.wrapper.empty() && strace.empty()) {
      GTEST_SKIP() << "strace fault injection cannot run here (not installed, or tracing is not permitted)";
    }
    const fs::path root = game_test::NewFolder("inplace");
    game_test::PrepareGame("inplace", root);
    const fs::path game = root / "game", folder = root / "home" / "AppData" / "Dunmarrow" / "InPlaceGame";
    game_test::WriteFile(folder / "InPlaceGame.log", "STALE LOG\r\n");
    game_test::WriteFile(folder / "script.log", "STALE SCRIPT LOG, LONGER THAN ITS NEW TEXT\r\n");
    game_test::WriteFile(game / "data.txt", "STALE DATA, LONGER THAN ITS NEW TEXT");
    game_test::GiveTo(root, *user);
    fs::permissions(folder, static_cast<fs::perms>(0555));
    fs::permissions(game, static_cast<fs::perms>(0555));

    const game_test::ProgramRun run =
        game_test::FinishProgram(game_test::StartProgram("inplace", root, true, {}, user, c.wrapper), root);
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
}

TEST(StoreProgramTest, AnInPlaceSaveOnADiskWithoutRoomForTheNewBytesKeepsTheOldFile) {
  std::string why;
  const auto user = game_test::OrdinaryUser(why);
  if (!user) GTEST_SKIP() << why;
  const fs::path root = game_test::NewFolder("fulldisk");
  game_test::PrepareGame("fulldisk", root);
  const fs::path folder = root / "home" / "AppData" / "Dunmarrow" / "FullDiskGame";
  game_test::GiveTo(root, *user);
  const SmallDisk disk(folder, "size=64k,mode=0755");
  if (!disk.Mounted()) GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << disk.Why() << "); mounting needs root";

  // A folder the player may not create files in, with a parameter file the player may write.
  std::string old;
  for (int i = 1; i <= 200; ++i) old += "old" + std::to_string(i) + "=" + std::string(40, 'o') + "\r\n";
  const fs::path params = folder / "GameParams.txt";
  game_test::WriteFile(params, old);
  game_test::WriteFile(folder / "FullDiskGame.log", std::string(8192, '-'));
  game_test::GiveTo(folder, *user);
  fs::permissions(folder, static_cast<fs::perms>(0555));
  const ino_t inode = InodeOf(params);
  FillDisk(folder / "filler");  // root's: the player cannot free the space

  const game_test::ProgramRun full = game_test::RunProgram("fulldisk", root, true, {}, user);
  ASSERT_TRUE(full.ended);
  EXPECT_EQ(full.exitCode, 0) << Tail(full.errors);
  EXPECT_NE(full.errors.find("read 200 pairs"), std::string::npos) << Tail(full.errors);
  EXPECT_NE(full.errors.find("saved"), std::string::npos) << "the game goes on" << Tail(full.errors);
  EXPECT_EQ(game_test::ReadFile(params), old);
  EXPECT_EQ(InodeOf(params), inode);
  // The error names the file and the reason, in the log or, when the log has no room either,
  // on standard error.
  const std::string said = full.logs + full.errors;
  EXPECT_TRUE(HasLine(said, "ERROR !!!", "FullDiskGame\\GameParams.txt\" (error 112: there is not enough space on the disk)"))
      << Tail(said);

  // With room again, the same save lands where the file stands.
  fs::remove(folder / "filler");
  const game_test::ProgramRun roomy = game_test::RunProgram("fulldisk", root, true, {}, user);
  ASSERT_TRUE(roomy.ended);
  EXPECT_EQ(roomy.exitCode, 0) << Tail(roomy.errors);
  std::string saved;
  for (int i = 1; i <= 300; ++i) saved += "new" + std::to_string(i) + "=" + std::string(100, 'n') + "\r\n";
  EXPECT_EQ(game_test::ReadFile(params), saved);
  EXPECT_EQ(InodeOf(params), inode);
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry.path().filename().string());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"FullDiskGame.log", "GameParams.txt"}));
  fs::permissions(folder, static_cast<fs::perms>(0755));
}

// A btrfs file system in an image file, mounted through a loop device for as long as the object
// lives. Needs mkfs.btrfs and the right to mount.
class CopyOnWriteDisk {
public:
  CopyOnWriteDisk(const fs::path& image, const fs::path& folder) : image_(image) {
    fs::create_directories(folder);
    const std::string mkfs = game_test::OnPath("mkfs.btrfs");
    if (mkfs.empty()) {
      why_ = "mkfs.btrfs is not installed (btrfs-progs)";
      return;
    }
    const std::string quiet = " >/dev/null 2>&1";
    if (system(("truncate -s 128M '" + image.string() + "'" + quiet).c_str()) != 0 ||
        system(("'" + mkfs + "' -q -f '" + image.string() + "'" + quiet).c_str()) != 0) {
      why_ = "mkfs.btrfs cannot make a file system here";
      return;
    }
    if (system(("mount -o loop '" + image.string() + "' '" + folder.string() + "'" + quiet).c_str()) != 0) {
      why_ = "a loop device cannot be mounted here; mounting needs root";
      return;
    }
    mounted_ = folder;
  }
  ~CopyOnWriteDisk() {
    if (!mounted_.empty()) (void)system(("umount '" + mounted_.string() + "' >/dev/null 2>&1").c_str());
    fs::remove(image_);
  }
  CopyOnWriteDisk(const CopyOnWriteDisk&) = delete;
  CopyOnWriteDisk& operator=(const CopyOnWriteDisk&) = delete;
  bool Mounted() const { return !mounted_.empty(); }
  const std::string& Why() const { return why_; }

private:
  fs::path image_, mounted_;
  std::string why_;
};

// A disk that writes every change to new blocks has no room to overwrite a file whose old blocks
// are all its own: the old file stays whole, and with room again the save lands in place.
TEST(StoreProgramTest, AnInPlaceSaveOnANearlyFullCopyOnWriteDiskKeepsTheOldFile) {
  std::string why;
  const auto user = game_test::OrdinaryUser(why);
  if (!user) GTEST_SKIP() << why;
  const fs::path root = game_test::NewFolder("cowdisk");
  game_test::PrepareGame("fulldisk", root);
  const fs::path folder = root / "home" / "AppData" / "Dunmarrow" / "FullDiskGame";
  game_test::GiveTo(root, *user);
  const CopyOnWriteDisk disk(root / "disk.img", folder);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();

  constexpr int kPairs = 80000;  // about 9 MB each save
  std::string old;
  for (int i = 1; i <= kPairs; ++i) old += "old" + std::to_string(i) + "=" + std::string(100, 'o') + "\r\n";
  const fs::path params = folder / "GameParams.txt";
  game_test::WriteFile(params, old);
  game_test::WriteFile(folder / "FullDiskGame.log", std::string(8192, '-'));
  game_test::GiveTo(folder, *user);
  fs::permissions(folder, static_cast<fs::perms>(0555));
  const ino_t inode = InodeOf(params);
  // Room for less than half a save, kept by root: the player cannot free it.
  game_test::WriteFile(folder / "room", std::string(4 << 20, 'r'));
  sync();
  FillDisk(folder / "filler");
  fs::remove(folder / "room");
  sync();

  const std::vector<std::string> env = {"PAIRS=" + std::to_string(kPairs)};
  const game_test::ProgramRun full = game_test::RunProgram("fulldisk", root, true, env, user);
  ASSERT_TRUE(full.ended);
  EXPECT_EQ(full.exitCode, 0) << Tail(full.errors);
  EXPECT_NE(full.errors.find("saved"), std::string::npos) << "the game goes on" << Tail(full.errors);
  EXPECT_TRUE(game_test::ReadFile(params) == old) << "the old file was changed";
  EXPECT_EQ(InodeOf(params), inode);
  const std::string said = full.logs + full.errors;
  EXPECT_TRUE(HasLine(said, "ERROR !!!", "FullDiskGame\\GameParams.txt\" (error 112: there is not enough space on the disk)"))
      << Tail(said);

  fs::remove(folder / "filler");
  sync();
  // A save that grows the file far past its old size, as after a short one.
  {
    std::ofstream shorter(params, std::ios::binary | std::ios::trunc);
    shorter << "old1=o\r\n";
  }
  const game_test::ProgramRun roomy = game_test::RunProgram("fulldisk", root, true, env, user);
  ASSERT_TRUE(roomy.ended);
  EXPECT_EQ(roomy.exitCode, 0) << Tail(roomy.errors);
  std::string saved;
  for (int i = 1; i <= kPairs; ++i) saved += "new" + std::to_string(i) + "=" + std::string(100, 'n') + "\r\n";
  EXPECT_TRUE(game_test::ReadFile(params) == saved) << "the new save did not land whole";
  EXPECT_EQ(InodeOf(params), inode);
  fs::permissions(folder, static_cast<fs::perms>(0755));
}

}  // namespace
