// End to end: the built program started in a copy of the fixture game (data/game), headless,
// ended by a signal as by its window's close button, and started where no window can open.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
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

  // Starts the program; with errPath its standard error goes to that file. The video driver is
  // SDL's dummy one unless env says otherwise ("NAME=value"; "NAME" alone unsets it).
  pid_t Start(const fs::path& folder, std::vector<std::string> args, const fs::path& errPath = {},
              const std::vector<std::string>& env = {}) {
    pid_t pid = fork();
    if (pid == 0) {
      if (!errPath.empty() && !freopen(errPath.c_str(), "w", stderr)) _exit(127);
      if (chdir("/") != 0) _exit(127);  // the program must find its folder by itself
      setenv("SDL_VIDEODRIVER", "dummy", 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      for (const std::string& e : env) {
        const size_t eq = e.find('=');
        if (eq == std::string::npos)
          unsetenv(e.c_str());
        else
          setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
      }
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

// SIGINT (Ctrl+C in a terminal) and SIGTERM close the game as its close button does, windowed
// and in full screen, with SDL's own signal handlers asked for or not, and while a script runs
// long in loading; the exit status is 0.
TEST_F(ProgramTest, ASignalEndsTheGameThroughItsCloseAndWritesTheFooterLast) {
  // Later definitions in the game's script replace the fixture's; each logs a warning naming
  // its mark, through a copy of a picture that does not exist.
  const std::string longInit =
      "function A_Init() DublicateSurface('copy', 'init running')\n"
      "  local t = os.clock() while os.clock() - t < 1.5 do end\n"
      "  DublicateSurface('copy', 'init done') end\n";
  const std::string longLoading =
      "function A_Init() SetSystemResolution(800, 600, 800, 600) LoadingTrue() end\n"
      "function A_Loading() DublicateSurface('copy', 'loading running')\n"
      "  local t = os.clock() while os.clock() - t < 0.5 do end end\n";
  struct Case {
    std::string name;
    std::vector<std::string> args;  // a malformed size parameter does not stop the start
    int signal;
    std::vector<std::string> env;
    std::string script;       // appended to the game's script
    std::string startedMark;  // the signal goes once the log holds it
  };
  const std::string ready = "m_bReady:= True";
  const Case cases[] = {
      {"windowed", {"-w"}, SIGTERM, {}, "", ready},
      {"malformed size", {"[12,ab]", "-w"}, SIGTERM, {}, "", ready},
      {"windowed", {"-w"}, SIGINT, {}, "", ready},
      {"full screen", {}, SIGINT, {}, "", ready},
      {"full screen", {}, SIGTERM, {}, "", ready},
      {"SDL's handlers off", {"-w"}, SIGINT, {"SDL_NO_SIGNAL_HANDLERS=1"}, "", ready},
      {"SDL's handlers asked for", {"-w"}, SIGTERM, {"SDL_NO_SIGNAL_HANDLERS=0"}, "", ready},
      {"inside a long A_Init", {"-w"}, SIGINT, {}, longInit, "init running"},
      {"inside a long A_Loading", {}, SIGTERM, {}, longLoading, "loading running"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " " + strsignal(c.signal));
    fs::path folder = MakeGameFolder();
    if (!c.script.empty()) {
      std::ofstream script(folder / "data" / "AllLua.lua", std::ios::app);
      script << "\n" << c.script;
    }
    pid_t pid = Start(folder, c.args, {}, c.env);
    ASSERT_TRUE(WaitForLog(folder / "Log.txt", c.startedMark));
    kill(pid, c.signal);
    EXPECT_EQ(WaitForExit(pid), 0);
    const std::string log = ReadFile(folder / "Log.txt");
    // The loop ends, then the game's end call, then the footers.
    const size_t started = log.find(c.startedMark);
    const size_t endGame = log.find("surface G_EndGame not exist");
    const size_t footer = log.find("[ Errors : ");
    ASSERT_NE(endGame, std::string::npos) << log;
    ASSERT_NE(footer, std::string::npos);
    EXPECT_LT(started, endGame);
    EXPECT_LT(endGame, footer);
    EXPECT_EQ(CountOf(log, "[ Errors : "), 1);
    // A long call ends before the game does.
    if (c.script == longInit) {
      EXPECT_LT(log.find("init done"), endGame) << log;
    }
  }
}

// Where no window can open, one line on standard error names the video driver and SDL's
// reason, and the program ends at once with status 1: it never plays without a window unless
// SDL's dummy driver is asked for.
TEST_F(ProgramTest, WhereNoWindowCanOpenOneLineSaysWhyAndTheStatusIsOne) {
  struct Case {
    std::vector<std::string> env;
    std::string driver;  // what the line names
  };
  const Case cases[] = {
      {{"SDL_VIDEODRIVER=nosuch"}, "\"nosuch\""},
      // No X server on that display, and nothing chose a driver.
      {{"SDL_VIDEODRIVER", "WAYLAND_DISPLAY", "DISPLAY=:59999"}, "DISPLAY=:59999"},
      {{"SDL_VIDEODRIVER", "WAYLAND_DISPLAY", "DISPLAY="}, "SDL_VIDEODRIVER"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.env.back());
    fs::path folder = MakeGameFolder();
    const fs::path err = folder.string() + ".stderr";
    EXPECT_EQ(WaitForExit(Start(folder, {"-w"}, err, c.env)), 1);
    const std::string text = ReadFile(err);
    EXPECT_EQ(CountOf(text, "\n"), 1) << text;
    EXPECT_EQ(text.rfind("quorrel: no window can open", 0), 0u) << text;
    EXPECT_NE(text.find(c.driver), std::string::npos) << text;
    // The game never started, and the log says why too.
    const std::string log = ReadFile(folder / "Log.txt");
    EXPECT_EQ(log.find("m_bReady:= True"), std::string::npos) << log;
    EXPECT_NE(log.find("no window can open"), std::string::npos) << log;
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
