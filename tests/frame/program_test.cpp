// End to end: the built program started in a copy of the fixture game (data/game), headless,
// and closed the way the window manager closes it (SIGTERM becomes the window's close).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "frame_test_support.h"

namespace {

namespace fs = std::filesystem;
using frame_test::CountOf;
using frame_test::ReadFile;

class ProgramTest : public ::testing::Test {
protected:
  // A game folder with the fixture's data and the program linked in, so that the program
  // folder is the game folder.
  fs::path MakeGameFolder() {
    fs::path folder = frame_test::NewFolder("game");
    fs::copy(fs::path(QUORREL_TEST_DATA) / "game" / "data", folder / "data",
             fs::copy_options::recursive);
    fs::create_symlink(fs::path(QUORREL_BINARY_DIR) / "src" / "frame" / "quorrel",
                       folder / "quorrel");
    return folder;
  }

  // Starts the program; with errPath its standard error goes to that file.
  pid_t Start(const fs::path& folder, std::vector<std::string> args, const fs::path& errPath = {}) {
    pid_t pid = fork();
    if (pid == 0) {
      if (!errPath.empty() && !freopen(errPath.c_str(), "w", stderr)) _exit(127);
      if (chdir("/") != 0) _exit(127);  // the program must find its folder by itself
      setenv("SDL_VIDEODRIVER", "dummy", 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      std::string program = (folder / "quorrel").string();
      std::vector<char*> argv{program.data()};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }

  // Waits (with a generous guard against a hang) for the process to end; its exit code, or -1.
  int WaitForExit(pid_t pid) {
    for (int i = 0; i < 3000; ++i) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ADD_FAILURE() << "the program did not end";
    return -1;
  }

  bool WaitForLog(const fs::path& log, const std::string& text) {
    for (int i = 0; i < 3000; ++i) {
      if (ReadFile(log).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
};

TEST_F(ProgramTest, RunsWindowedUntilClosedAndWritesTheFooterLast) {
  // A malformed size parameter does not stop the start.
  for (std::vector<std::string> args : {std::vector<std::string>{"-w"},
                                        std::vector<std::string>{"[12,ab]", "-w"}}) {
    SCOPED_TRACE(args.back());
    fs::path folder = MakeGameFolder();
    pid_t pid = Start(folder, args);
    ASSERT_TRUE(WaitForLog(folder / "Log.txt", "CD3DApplication.Create_ m_bReady:= True"));
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid), 0);
    const std::string log = ReadFile(folder / "Log.txt");
    // The loop ends, then the game's end call, then the footers.
    const size_t ready = log.find("m_bReady:= True");
    const size_t endGame = log.find("surface G_EndGame not exist");
    const size_t footer = log.find("[ Errors : ");
    ASSERT_NE(endGame, std::string::npos);
    ASSERT_NE(footer, std::string::npos);
    EXPECT_LT(ready, endGame);
    EXPECT_LT(endGame, footer);
    EXPECT_EQ(CountOf(log, "[ Errors : "), 1);
  }
}

TEST_F(ProgramTest, LaunchSwitchWithoutANameEndsAtOnce) {
  fs::path folder = MakeGameFolder();
  EXPECT_EQ(WaitForExit(Start(folder, {"-s"})), 0);
  EXPECT_FALSE(fs::exists(folder / "Log.txt"));  // nothing logged, no window made
}

// Without a writable "Log.txt" the run still tells what happened, on standard error.
TEST_F(ProgramTest, AnUnwritableMainLogGoesToStandardError) {
  fs::path folder = MakeGameFolder();
  fs::create_directories(folder / "Log.txt");  // cannot be written, whoever runs the test
  const bool root = geteuid() == 0;
  if (!root) fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
  const fs::path err = folder.string() + ".stderr";
  pid_t pid = Start(folder, {"-w"}, err);
  ASSERT_TRUE(WaitForLog(err, "CD3DApplication.Create_ m_bReady:= True")) << ReadFile(err);
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitForExit(pid), 0);
  if (!root) fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  const std::string text = ReadFile(err);
  const std::string notice = "Log file \"" + (folder / "Log.txt").string() + "\" cannot be written";
  EXPECT_EQ(text.rfind(notice, 0), 0u) << text;
  EXPECT_NE(text.find("\nLog: 1.50 [Errors, Warnings, Hints]"), std::string::npos) << text;
  EXPECT_LT(text.find("m_bReady:= True"), text.find("[ Errors : ")) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_TRUE(fs::is_directory(folder / "Log.txt"));
}

}  // namespace
