// End to end through the built program: two copies of a game started at once, both saving one
// GameParams.txt again and again, one of them on a slow disk (every write delayed by strace),
// killed at random moments. Read all the while, the file must always be one whole save.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "program_run.h"

namespace {

namespace fs = std::filesystem;
using game_test::OnPath;
using game_test::Tail;

constexpr int kPairs = 2000;

// Empty when Text is one whole save of the fixture: kPairs lines "k<i>=<value>", in order, all
// with the same value; otherwise what is wrong with it.
std::string WhatIsWrong(const std::string& text) {
  if (text.empty()) return "empty";
  std::size_t at = 0;
  std::string value;
  for (int i = 1; i <= kPairs; ++i) {
    const std::string key = "k" + std::to_string(i) + "=";
    if (text.compare(at, key.size(), key) != 0) return "pair " + std::to_string(i) + " missing";
    at += key.size();
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) return "cut in pair " + std::to_string(i);
    const std::string v = text.substr(at, end - at);
    if (i == 1) value = v;
    if (v != value) return "pair " + std::to_string(i) + " of another save";
    at = end + 2;
  }
  if (at != text.size()) return "more than one save";
  return {};
}

std::string WholeSave(const std::string& value) {
  std::string text;
  for (int i = 1; i <= kPairs; ++i) text += "k" + std::to_string(i) + "=" + value + "\r\n";
  return text;
}

void KillAndReap(pid_t pid) {
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST(CopiesProgramTest, TwoCopiesSavingOneFileAlwaysLeaveOneWholeSave) {
  const std::string strace = game_test::StraceThatInjects("write:delay_enter=1");
  if (strace.empty()) {
    GTEST_SKIP() << "strace with write delays cannot run here (not installed, or tracing is not permitted)";
  }
  const fs::path root = game_test::NewFolder("twocopies");
  game_test::PrepareGame("twocopies", root);
  const fs::path folder = root / "home" / "AppData" / "Dunmarrow" / "TwoCopiesGame";
  const fs::path file = folder / "GameParams.txt";
  game_test::WriteFile(file, WholeSave("first"));

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  // Each copy is killed at a random moment once both are saving.
  std::uniform_int_distribution<int> lifeMs(0, 1200);
  // The slow copy's writes each wait 20 ms before they start: a slow disk.
  const std::vector<std::string> slowDisk = {strace, "-f", "-qq", "-o", "/dev/null",
                                             "-e", "inject=write:delay_enter=20000"};
  int reads = 0;
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const game_test::StartedProgram fast =
        game_test::StartProgram("twocopies", root, true, {"COPY=fast"}, std::nullopt, {}, "-fast");
    const game_test::StartedProgram slow =
        game_test::StartProgram("twocopies", root, true, {"COPY=slow"}, std::nullopt, slowDisk, "-slow");
    ASSERT_GT(fast.pid, 0);
    ASSERT_GT(slow.pid, 0);
    const auto guard = std::chrono::steady_clock::now() + game_test::kHangGuard;
    std::chrono::steady_clock::time_point killFast{}, killSlow{};
    bool saving = false, fastAlive = true, slowAlive = true;
    int bad = 0, turn = 0;
    std::string firstBad;
    while (fastAlive || slowAlive) {
      const std::string what = WhatIsWrong(game_test::ReadFile(file));
      ++reads;
      if (!what.empty() && bad++ == 0) firstBad = what;
      const auto now = std::chrono::steady_clock::now();
      // The log names the first pair of every save as it starts.
      if (!saving && ++turn % 20 == 0) {
        const std::string log = game_test::ReadFile(folder / "TwoCopiesGame.log");
        saving = log.find("A_SetParamsToCode k1=slow") != std::string::npos &&
                 log.find("A_SetParamsToCode k1=fast") != std::string::npos;
        if (saving) {
          killFast = now + std::chrono::milliseconds(lifeMs(random));
          killSlow = now + std::chrono::milliseconds(lifeMs(random));
        }
      }
      const bool hung = !saving && now >= guard;
      if (fastAlive && ((saving && now >= killFast) || hung)) {
        KillAndReap(fast.pid);
        fastAlive = false;
      }
      if (slowAlive && ((saving && now >= killSlow) || hung)) {
        KillAndReap(slow.pid);
        slowAlive = false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::string log = game_test::ReadFile(folder / "TwoCopiesGame.log");
    ASSERT_TRUE(saving) << "the two copies never both saved" << Tail(log);
    EXPECT_EQ(bad, 0) << "first: " << firstBad;
    EXPECT_EQ(WhatIsWrong(game_test::ReadFile(file)), "");
    // A kill leaves at most one temporary of the file for each copy.
    EXPECT_LE(game_test::LeftoverTemporaries(folder, "GameParams.txt"), 2);
    // Each save landed or said why not; none failed for the other copy's sake.
    EXPECT_EQ(log.find("Cannot write file"), std::string::npos) << Tail(log);
  }
  RecordProperty("reads", reads);

  // The next save removes what the kills left.
  const game_test::ProgramRun last = game_test::RunProgram("twocopies", root, true, {"COPY=last", "SAVES=1"});
  ASSERT_TRUE(last.ended);
  EXPECT_EQ(last.exitCode, 0) << Tail(last.errors);
  EXPECT_NE(last.errors.find("saved"), std::string::npos) << Tail(last.errors);
  EXPECT_EQ(game_test::ReadFile(file), WholeSave("last1"));
  EXPECT_EQ(game_test::LeftoverTemporaries(folder, "GameParams.txt"), 0);
}

// A copy in a sandbox of its own (another PID namespace, as desktop sandboxes and containers
// make) and one outside it save one file, on a file system without unnamed files: each sees the
// other's temporaries under a number that names none of its own processes, and the sandboxed
// copy's own number is 1, which lives outside too. No save may fail for the other copy's sake,
// and what a killed sandboxed copy left goes with the next sandboxed start.
TEST(CopiesProgramTest, CopiesInDifferentPidNamespacesNeverTakeALiveTemporaryForALeftover) {
  const std::string unshare = OnPath("unshare");
  if (unshare.empty() || system((unshare + " -p -f --mount-proc true >/dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << "no PID namespace can be made here (unshare -p needs root)";
  }
  const fs::path root = game_test::NewFolder("namespaces");
  game_test::PrepareGame("twocopies", root);
  const fs::path folder = root / "home" / "AppData" / "Dunmarrow" / "TwoCopiesGame";
  const fs::path file = folder / "GameParams.txt";
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::vector<std::string> noUnnamedFiles = {
      std::string("LD_PRELOAD=") + QUORREL_NO_UNNAMED_FILES,
      "ASAN_OPTIONS=" + (asan != nullptr ? std::string(asan) + ":" : std::string()) + "verify_asan_link_order=0"};
  const std::vector<std::string> sandbox = {unshare, "-p", "-f", "--mount-proc"};
  auto with = [&](std::vector<std::string> env, const std::string& extra) {
    env.push_back(extra);
    return env;
  };

  const game_test::StartedProgram boxed =
      game_test::StartProgram("twocopies", root, true, with(noUnnamedFiles, "COPY=boxed"), std::nullopt, sandbox, "-boxed");
  ASSERT_GT(boxed.pid, 0);
  // The outside copy starts once the sandboxed one saves.
  const auto guard = std::chrono::steady_clock::now() + game_test::kHangGuard;
  while (game_test::ReadFile(folder / "TwoCopiesGame.log").find("A_SetParamsToCode k1=boxed") == std::string::npos &&
         std::chrono::steady_clock::now() < guard) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::vector<std::string> hostEnv = with(noUnnamedFiles, "COPY=host");
  hostEnv.push_back("SAVES=150");
  const game_test::ProgramRun host = game_test::FinishProgram(
      game_test::StartProgram("twocopies", root, true, hostEnv, std::nullopt, {}, "-host"), root);
  KillAndReap(boxed.pid);
  ASSERT_TRUE(host.ended);
  EXPECT_EQ(host.exitCode, 0) << Tail(host.errors);
  EXPECT_NE(host.errors.find("saved"), std::string::npos) << Tail(host.errors);
  const std::string log = game_test::ReadFile(folder / "TwoCopiesGame.log");
  EXPECT_NE(log.find("A_SetParamsToCode k1=boxed"), std::string::npos) << Tail(log);
  EXPECT_EQ(log.find("Cannot write file"), std::string::npos) << Tail(log);
  EXPECT_EQ(WhatIsWrong(game_test::ReadFile(file)), "");

  std::vector<std::string> lastEnv = with(noUnnamedFiles, "COPY=last");
  lastEnv.push_back("SAVES=1");
  const game_test::ProgramRun last = game_test::FinishProgram(
      game_test::StartProgram("twocopies", root, true, lastEnv, std::nullopt, sandbox, "-last"), root);
  ASSERT_TRUE(last.ended);
  EXPECT_EQ(last.exitCode, 0) << Tail(last.errors);
  EXPECT_EQ(game_test::ReadFile(file), WholeSave("last1"));
  EXPECT_EQ(game_test::LeftoverTemporaries(folder, "GameParams.txt"), 0);
}

// Reads the file as a reader that honours a writer's lock: it waits for a whole file.
std::string ReadTakingTurns(const fs::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  struct flock lock {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  (void)fcntl(fd, F_OFD_SETLKW, &lock);
  std::string text;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return text;
}

bool Ended(pid_t pid, int& exitCode) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) != pid) return false;
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  return true;
}

// In a folder that takes no new file, the copies overwrite the file where it stands; they take
// turns, so that one's truncation never cuts into the other's bytes.
TEST(CopiesProgramTest, TwoCopiesSavingInPlaceTakeTurns) {
  const std::string strace = game_test::StraceThatInjects("write:delay_enter=1");
  if (strace.empty()) {
    GTEST_SKIP() << "strace with write delays cannot run here (not installed, or tracing is not permitted)";
  }
  std::string why;
  const auto user = game_test::OrdinaryUser(why);
  if (!user) GTEST_SKIP() << why;
  const fs::path root = game_test::NewFolder("inplacecopies");
  game_test::PrepareGame("twocopies", root);
  const fs::path folder = root / "home" / "AppData" / "Dunmarrow" / "TwoCopiesGame";
  const fs::path file = folder / "GameParams.txt";
  game_test::WriteFile(file, WholeSave("first"));
  game_test::WriteFile(folder / "TwoCopiesGame.log", "");
  game_test::GiveTo(root, *user);
  fs::permissions(folder, static_cast<fs::perms>(0555));

  // The slow copy's writes each wait 20 ms: its truncation and its bytes come far apart.
  const std::vector<std::string> slowDisk = {strace, "-f", "-qq", "-o", "/dev/null",
                                             "-e", "inject=write,pwrite64,ftruncate:delay_enter=20000"};
  const game_test::StartedProgram fast =
      game_test::StartProgram("twocopies", root, true, {"COPY=fast", "SAVES=150"}, user, {}, "-fast");
  const game_test::StartedProgram slow =
      game_test::StartProgram("twocopies", root, true, {"COPY=slow", "SAVES=15"}, user, slowDisk, "-slow");
  ASSERT_GT(fast.pid, 0);
  ASSERT_GT(slow.pid, 0);
  const auto guard = std::chrono::steady_clock::now() + game_test::kHangGuard;
  int fastCode = -1, slowCode = -1, bad = 0, reads = 0;
  bool fastAlive = true, slowAlive = true;
  std::string firstBad;
  while ((fastAlive || slowAlive) && std::chrono::steady_clock::now() < guard) {
    const std::string what = WhatIsWrong(ReadTakingTurns(file));
    ++reads;
    if (!what.empty() && bad++ == 0) firstBad = what;
    if (fastAlive && Ended(fast.pid, fastCode)) fastAlive = false;
    if (slowAlive && Ended(slow.pid, slowCode)) slowAlive = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (fastAlive) KillAndReap(fast.pid);
  if (slowAlive) KillAndReap(slow.pid);
  fs::permissions(folder, static_cast<fs::perms>(0755));
  const std::string log = game_test::ReadFile(folder / "TwoCopiesGame.log");
  RecordProperty("reads", reads);
  EXPECT_EQ(fastCode, 0);
  EXPECT_EQ(slowCode, 0);
  EXPECT_EQ(bad, 0) << "first: " << firstBad;
  const std::string last = game_test::ReadFile(file);
  EXPECT_TRUE(last == WholeSave("fast150") || last == WholeSave("slow15")) << WhatIsWrong(last);
  EXPECT_EQ(log.find("Cannot write file"), std::string::npos) << Tail(log);
  EXPECT_EQ(game_test::LeftoverTemporaries(folder, "GameParams.txt"), 0);
}

}  // namespace
