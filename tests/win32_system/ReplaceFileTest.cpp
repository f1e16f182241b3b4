// The replacing whole-file write through its fixed temporary name, and the in-place fallback for
// folders that take no new file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "platform/win32/win32.h"
#include "runtime/Errors.h"
#include "runtime/Files.h"
#include "win32_system/TempDir.h"

using namespace platform::win32;

namespace {

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_ino;
}

// The write as a user who may not create files in Folder: root drops to "nobody" in a child
// (permission bits do not stop root), anyone else just loses the folder's write bit meanwhile.
// Returns 1 for success, 0 for failure, -1 when the folder cannot be set up that way.
int ReplaceWithoutFolderWrite(const std::string& folder, const std::string& path, const std::string& bytes) {
  if (geteuid() != 0) {
    chmod(folder.c_str(), 0555);
    const bool ok = ReplaceWholeFile(path, bytes);
    chmod(folder.c_str(), 0755);
    return ok ? 1 : 0;
  }
  chmod(folder.c_str(), 0755);
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0 || access(folder.c_str(), X_OK) != 0 ||
        access(folder.c_str(), W_OK) == 0)
      _exit(3);
    _exit(ReplaceWholeFile(path, bytes) ? 1 : 0);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) > 1) return -1;
  return WEXITSTATUS(status);
}

}  // namespace

TEST(ReplaceWholeFile, ReplacesTheResolvedNameThroughTheFixedTemporary) {
  TempDir dir;
  dir.Write("gameparams.txt", "old");
  chmod((dir / "gameparams.txt").c_str(), 0640);
  dir.Write("gameparams.txt.tmp", "left over by an interrupted write");
  dir.Write("victim.txt", "not mine");

  EXPECT_TRUE(ReplaceWholeFile(dir / "GameParams.txt", "new"));
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"gameparams.txt", "victim.txt"}));
  EXPECT_EQ(dir.Read("gameparams.txt"), "new");
  struct stat st {};
  stat((dir / "gameparams.txt").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // A link squatting on the temporary's name is replaced, never written through.
  std::filesystem::create_symlink(dir / "victim.txt", dir / "gameparams.txt.tmp");
  EXPECT_TRUE(ReplaceWholeFile(dir / "GAMEPARAMS.TXT", "newer"));
  EXPECT_EQ(dir.Read("gameparams.txt"), "newer");
  EXPECT_EQ(dir.Read("victim.txt"), "not mine");
  EXPECT_EQ(Entries(dir.path()).count("gameparams.txt.tmp"), 0u);

  // A new file gets the name as written.
  rtl::ReplaceFileBytes(dir / "Profile.txt", "p");
  EXPECT_EQ(dir.Read("Profile.txt"), "p");
  EXPECT_EQ(Entries(dir.path()).size(), 3u);
}

TEST(ReplaceWholeFile, FailedWriteLeavesTheOldFileWholeAndNoTemporary) {
  TempDir dir;
  dir.Write("save.txt", "the old content");
  {
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool ok = ReplaceWholeFile(dir / "SAVE.TXT", std::string(5000, 'n'));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
  }
  EXPECT_EQ(dir.Read("save.txt"), "the old content");
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"save.txt"}));

  try {
    rtl::ReplaceFileBytes(dir.path() + "\\no\\such\\save.txt", "x");
    FAIL() << "no error raised";
  } catch (const rtl::EInOutError& e) {
    EXPECT_EQ(e.Code, static_cast<int>(ERROR_PATH_NOT_FOUND));
    EXPECT_NE(std::string(e.what()).find("save.txt"), std::string::npos);
  }
  EXPECT_FALSE(ReplaceWholeFile(dir.path(), "x"));  // a folder is no file
}

TEST(ReplaceWholeFile, WritesInPlaceWhereTheFolderTakesNoNewFile) {
  // A folder on the temporary's name: the write goes into the existing target.
  {
    TempDir dir;
    dir.Write("save.txt", "old old old");
    std::filesystem::create_directory(dir / "save.txt.tmp");
    const ino_t before = Inode(dir / "save.txt");
    EXPECT_TRUE(ReplaceWholeFile(dir / "Save.txt", "new"));
    EXPECT_EQ(dir.Read("save.txt"), "new");
    EXPECT_EQ(Inode(dir / "save.txt"), before);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "save.txt.tmp"));
    std::filesystem::create_directory(dir / "other.txt.tmp");
    EXPECT_FALSE(ReplaceWholeFile(dir / "other.txt", "x"));  // no target to fall back on
    EXPECT_FALSE(std::filesystem::exists(dir / "other.txt"));
  }
  // A folder the writer may not create files in, holding a target it may write.
  {
    TempDir dir;
    dir.Write("save.txt", "old old old");
    chmod((dir / "save.txt").c_str(), 0666);
    const ino_t before = Inode(dir / "save.txt");
    const int inPlace = ReplaceWithoutFolderWrite(dir.path(), dir / "save.txt", "new");
    if (inPlace < 0) GTEST_SKIP() << "no user without write access to " << dir.path();
    EXPECT_EQ(inPlace, 1);
    EXPECT_EQ(dir.Read("save.txt"), "new");
    EXPECT_EQ(Inode(dir / "save.txt"), before);
    EXPECT_EQ(ReplaceWithoutFolderWrite(dir.path(), dir / "absent.txt", "x"), 0);
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"save.txt"}));
  }
}
