// The one replacing whole-file write: it touches no name but its target, with an unnamed
// temporary and with a hidden named one; what a killed write left; saves from two threads;
// targets that are no regular file; names at the length limit; the in-place fallback; and the
// write of a name that must be new.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

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

// Both kinds of temporary: the unnamed one, and the hidden named one of file systems without it.
class TemporaryKind : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override { SetUnnamedTemporaries(GetParam()); }
  void TearDown() override { SetUnnamedTemporaries(true); }
};

INSTANTIATE_TEST_SUITE_P(Temporaries, TemporaryKind, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

// A process id that no process has: a child's, once it is reaped.
pid_t DeadPid() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
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

TEST_P(TemporaryKind, TouchesNoNameButItsTarget) {
  TempDir dir;
  dir.Write("gameparams.txt", "old");
  chmod((dir / "gameparams.txt").c_str(), 0640);
  // Names a script or a player may have chosen, and a link on one of them.
  dir.Write("gameparams.txt.tmp", "a script's own file");
  dir.Write(".gameparams.txt.tmp", "another");
  dir.Write("victim.txt", "not mine");
  std::filesystem::create_symlink(dir / "victim.txt", dir / ".gameparams.txt.1-0.tmp");
  const std::set<std::string> before = Entries(dir.path());

  EXPECT_TRUE(ReplaceWholeFile(dir / "GameParams.txt", "new"));
  EXPECT_TRUE(ReplaceWholeFile(dir / "GAMEPARAMS.TXT", "newer"));
  EXPECT_EQ(Entries(dir.path()), before);
  EXPECT_EQ(dir.Read("gameparams.txt"), "newer");
  EXPECT_EQ(dir.Read("gameparams.txt.tmp"), "a script's own file");
  EXPECT_EQ(dir.Read(".gameparams.txt.tmp"), "another");
  EXPECT_EQ(dir.Read("victim.txt"), "not mine");
  struct stat st {};
  stat((dir / "gameparams.txt").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // A new file gets the name as written.
  rtl::WriteFileBytes(dir / "Profile.txt", "p");
  EXPECT_EQ(dir.Read("Profile.txt"), "p");
  EXPECT_EQ(Entries(dir.path()).size(), before.size() + 1);
}

// A save killed in a child (by the file size limit) leaves its temporary, which the next save of
// the file removes; files that only look like a temporary stay, whatever their numbers say.
TEST_P(TemporaryKind, TheNextSaveRemovesWhatAKilledOneLeft) {
  TempDir dir;
  dir.Write("save.txt", "old");
  const std::string dead = std::to_string(DeadPid());
  dir.Write(".save.txt." + dead + "-3.tmp", "a script's own file");
  dir.Write(".save.txt.1-3.tmp", "another");
  dir.Write(".other.txt." + dead + "-3.tmp", "another file's");
  std::filesystem::create_directory(dir / (".save.txt." + dead + "-4.tmp"));
  const std::set<std::string> kept = Entries(dir.path());

  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    ReplaceWholeFile(dir / "save.txt", std::string(5000, 'k'));
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  EXPECT_EQ(Entries(dir.path()).size(), kept.size() + (GetParam() ? 0 : 1));

  EXPECT_TRUE(ReplaceWholeFile(dir / "save.txt", "new"));
  EXPECT_EQ(dir.Read("save.txt"), "new");
  EXPECT_EQ(Entries(dir.path()), kept);
  EXPECT_EQ(dir.Read(".save.txt." + dead + "-3.tmp"), "a script's own file");
}

TEST_P(TemporaryKind, TwoThreadsSavingOneFileEachLandWhole) {
  TempDir dir;
  const std::string texts[2] = {std::string(400000, 'a'), std::string(300000, 'b')};
  dir.Write("save.txt", texts[0]);
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  auto saver = [&](int which) {
    for (int n = 0; n < 60; ++n) {
      if (!ReplaceWholeFile(dir / "save.txt", texts[(which + n) % 2])) ++failures;
    }
  };
  int reads = 0, torn = 0;
  std::thread reader([&] {
    while (!done) {
      const std::string now = dir.Read("save.txt");
      ++reads;
      if (now != texts[0] && now != texts[1]) ++torn;
    }
  });
  std::thread a(saver, 0), b(saver, 1);
  a.join();
  b.join();
  done = true;
  reader.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"save.txt"}));
}

TEST_P(TemporaryKind, NamesUpToTheLengthLimitWork) {
  TempDir dir;
  for (std::size_t length : {200u, 228u, 229u, 240u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 4, 'n') + ".txt";
    dir.Write(name, "old");
    EXPECT_TRUE(ReplaceWholeFile(dir / name, "new " + std::to_string(length)));
    EXPECT_EQ(dir.Read(name), "new " + std::to_string(length));
    std::filesystem::remove(dir / name);
    EXPECT_TRUE(ReplaceWholeFile(dir / name, "fresh"));
    EXPECT_EQ(dir.Read(name), "fresh");
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{name}));
    std::filesystem::remove(dir / name);
  }
  EXPECT_FALSE(ReplaceWholeFile(dir / std::string(256, 'n'), "x"));
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

// Saves from another PID namespace (a sandbox, a container) see this process's temporaries
// under a number that names no process of theirs, and the other way round: neither may take a
// live one for a leftover. Each save in the namespace is a fresh process, so each looks.
TEST(ReplaceWholeFile, SavesFromAnotherPidNamespaceNeverRemoveALiveTemporary) {
  TempDir dir;
  dir.Write("save.txt", "start");
  SetUnnamedTemporaries(false);
  const pid_t sandbox = fork();
  if (sandbox == 0) {
    if (unshare(CLONE_NEWPID) != 0) _exit(2);
    const pid_t init = fork();
    if (init == 0) {
      int failures = 0;
      for (int n = 0; n < 300; ++n) {
        const pid_t saver = fork();
        if (saver == 0) _exit(ReplaceWholeFile(dir / "save.txt", std::string(20000, 's')) ? 0 : 1);
        int status = 0;
        waitpid(saver, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(init, &status, 0);
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 3);
  }
  int hostFailures = 0, saves = 0, status = 0;
  while (waitpid(sandbox, &status, WNOHANG) == 0) {
    if (!ReplaceWholeFile(dir / "save.txt", std::string(20000, 'h'))) ++hostFailures;
    ++saves;
  }
  SetUnnamedTemporaries(true);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "no new PID namespace may be made here (needs root)";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the sandbox's saves failed";
  EXPECT_EQ(hostFailures, 0) << "of " << saves << " saves";
  const std::string last = dir.Read("save.txt");
  EXPECT_TRUE(last == std::string(20000, 'h') || last == std::string(20000, 's'));
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"save.txt"}));
}

// A link keeps its place: a dangling one gets the file it names made, as open(2) would; a link
// whose file cannot be made, or a loop, fails with its reason.
TEST(ReplaceWholeFile, ADanglingLinkGetsItsFileMadeAndALoopFails) {
  TempDir dir;
  std::filesystem::create_symlink("made.txt", dir / "dangling.txt");
  std::filesystem::create_symlink("dangling.txt", dir / "chain.txt");
  std::filesystem::create_symlink(dir / "missing/x.txt", dir / "nofolder.txt");
  std::filesystem::create_symlink("loop.txt", dir / "loop.txt");
  std::filesystem::create_symlink("b.txt", dir / "a.txt");
  std::filesystem::create_symlink("a.txt", dir / "b.txt");
  EXPECT_TRUE(ReplaceWholeFile(dir / "dangling.txt", "one"));
  EXPECT_EQ(dir.Read("made.txt"), "one");
  EXPECT_TRUE(ReplaceWholeFile(dir / "chain.txt", "two"));
  EXPECT_EQ(dir.Read("made.txt"), "two");
  const struct {
    const char* name;
    DWORD error;
    const char* reason;
  } failing[] = {
      {"nofolder.txt", ERROR_PATH_NOT_FOUND, "(error 3: the folder does not exist)"},
      {"loop.txt", ERROR_CANT_RESOLVE_FILENAME, "(error 1921: the name leads to a loop of links)"},
      {"a.txt", ERROR_CANT_RESOLVE_FILENAME, "(error 1921: the name leads to a loop of links)"},
  };
  for (const auto& c : failing) {
    SCOPED_TRACE(c.name);
    try {
      rtl::WriteFileBytes(dir / c.name, "x");
      ADD_FAILURE() << "no error raised";
    } catch (const rtl::EInOutError& e) {
      EXPECT_EQ(e.Code, static_cast<int>(c.error));
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
  for (const char* link : {"dangling.txt", "chain.txt", "nofolder.txt", "loop.txt", "a.txt", "b.txt"}) {
    EXPECT_TRUE(std::filesystem::is_symlink(dir / link)) << link;
  }
  EXPECT_EQ(Entries(dir.path()).size(), 7u);
}

// The new bytes of a private file are never readable by others, not even while they are being
// written: every entry that shows up in the folder during the write has the target's mode.
TEST(ReplaceWholeFile, APrivateFileIsNeverReadableByOthersWhileItIsWritten) {
  TempDir dir;
  dir.Write("private.txt", "old");
  chmod((dir / "private.txt").c_str(), 0600);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, dir.path().c_str(), IN_CREATE), 0);
  SetUnnamedTemporaries(false);  // an unnamed temporary has no name anyone could open
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int n = 0; n < 5; ++n) ReplaceWholeFile(dir / "private.txt", std::string(8 << 20, 'p'));
    done = true;
  });
  int seen = 0, readable = 0;
  alignas(inotify_event) char events[4096];
  while (!done) {
    const ssize_t n = read(watch, events, sizeof events);
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(events + at);
      struct stat st {};
      if (e->len > 0 && lstat((dir / e->name).c_str(), &st) == 0) {
        ++seen;
        if ((st.st_mode & 0077) != 0) ++readable;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  writer.join();
  SetUnnamedTemporaries(true);
  close(watch);
  EXPECT_EQ(readable, 0) << "of " << seen << " temporaries seen";
  EXPECT_EQ(dir.Read("private.txt").size(), 8u << 20);
}

TEST(ReplaceWholeFile, FailedWriteLeavesTheOldFileWholeAndNoTemporary) {
  TempDir dir;
  dir.Write("save.txt", "the old content");
  for (bool unnamed : {true, false}) {
    SetUnnamedTemporaries(unnamed);
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool ok = ReplaceWholeFile(dir / "SAVE.TXT", std::string(5000, 'n'));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_EQ(dir.Read("save.txt"), "the old content");
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"save.txt"}));
  }
  SetUnnamedTemporaries(true);

  // The error names the file and the reason.
  try {
    rtl::WriteFileBytes(dir.path() + "\\no\\such\\save.txt", "x");
    FAIL() << "no error raised";
  } catch (const rtl::EInOutError& e) {
    EXPECT_EQ(e.Code, static_cast<int>(ERROR_PATH_NOT_FOUND));
    EXPECT_NE(std::string(e.what()).find("save.txt\" (error 3: the folder does not exist)"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(ReplaceWholeFile(dir.path(), "x"));  // a folder is no file
}

TEST(ReplaceWholeFile, TargetsThatAreNoRegularFileAreWrittenThrough) {
  TempDir dir;
  // A FIFO with a reader waiting gets the bytes and stays a FIFO.
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
  std::string got;
  std::thread reader([&] { got = dir.Read("pipe"); });
  bool written = false;
  for (int attempt = 0; attempt < 2000 && !written; ++attempt) {
    written = ReplaceWholeFile(dir / "pipe", "through the pipe");
    if (!written) usleep(1000);  // until the reader has opened its end
  }
  reader.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(got, "through the pipe");
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe"));
  // Nobody reading: a write or an append fails at once, and the FIFO stays.
  EXPECT_FALSE(ReplaceWholeFile(dir / "pipe", "nobody reads"));
  EXPECT_EQ(GetLastError(), ERROR_PIPE_NOT_CONNECTED);
  EXPECT_FALSE(AppendToFile(dir / "pipe", "nobody reads"));
  EXPECT_EQ(GetLastError(), ERROR_PIPE_NOT_CONNECTED);
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe"));

  // A link to a character device keeps both.
  std::filesystem::create_symlink("/dev/null", dir / "null.log");
  EXPECT_TRUE(ReplaceWholeFile(dir / "null.log", "discarded"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "null.log"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

  // A socket is refused and stays.
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir / "socket";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_FALSE(ReplaceWholeFile(socketPath, "x"));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(std::filesystem::is_socket(socketPath));
  close(sock);
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"pipe", "null.log", "socket"}));
}

TEST(ReplaceWholeFile, WritesInPlaceWhereTheFolderTakesNoNewFile) {
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

TEST(CreateWholeFile, WritesOnlyANameThatIsFree) {
  TempDir dir;
  dir.Write("outside.txt", "not mine");
  dir.Write("taken.txt", "first copy");
  std::filesystem::create_symlink(dir / "outside.txt", dir / "link.txt");
  std::filesystem::create_symlink(dir / "nowhere.txt", dir / "dangling.txt");
  for (bool unnamed : {true, false}) {
    SetUnnamedTemporaries(unnamed);
    for (const char* name : {"taken.txt", "link.txt", "dangling.txt"}) {
      EXPECT_FALSE(CreateWholeFile(dir / name, "second copy")) << name;
      EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS) << name;
    }
    EXPECT_TRUE(CreateWholeFile(dir / (unnamed ? "new1.txt" : "new2.txt"), "copy"));
  }
  SetUnnamedTemporaries(true);
  EXPECT_EQ(dir.Read("outside.txt"), "not mine");
  EXPECT_EQ(dir.Read("taken.txt"), "first copy");
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere.txt"));
  EXPECT_EQ(dir.Read("new1.txt"), "copy");
  EXPECT_EQ(dir.Read("new2.txt"), "copy");
  EXPECT_EQ(Entries(dir.path()).size(), 6u);
}
