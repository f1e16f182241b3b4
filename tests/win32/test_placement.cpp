// Where the window really is on an X display without a window manager: the demo starts in full
// screen, goes to a window with Alt+Enter and back, and after the first frame of each mode X
// itself is asked for the position and size of the demo's visible window. The frame is drawn
// through an SDL renderer, which may rebuild the native window. Skipped where Xvfb, xwininfo or
// xdotool is missing.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/commands.h"

extern char** environ;

namespace {

constexpr int kScreenWidth = 1280, kScreenHeight = 1024;

using test_support::Have;
using test_support::Output;

// A child process whose standard output and error are read line by line.
class Child {
public:
  bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
    if (rc != 0) pid_ = -1;
    return pid_ > 0;
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  pid_t Pid() const { return pid_; }
  // Reads until a line containing `text` arrives; that line, or empty after `seconds`.
  std::string WaitFor(const std::string& text, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      for (size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        transcript_ += line + "\n";
        if (line.find(text) != std::string::npos) return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return {};
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
      char buffer[512];
      const ssize_t n = read(out_, buffer, sizeof buffer);
      if (n <= 0) return {};
      pending_.append(buffer, static_cast<size_t>(n));
    }
  }
  const std::string& Transcript() const { return transcript_; }

private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_, transcript_;
};

struct Geometry {
  int x = -1, y = -1, width = -1, height = -1;
  bool operator==(const Geometry&) const = default;
};

std::string Describe(const Geometry& g) {
  return std::to_string(g.width) + "x" + std::to_string(g.height) + "+" + std::to_string(g.x) +
         "+" + std::to_string(g.y);
}

int Field(const std::string& text, const char* label) {
  const size_t at = text.find(label);
  return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + std::strlen(label));
}

class XPlacement : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xwininfo", "xdotool"})
      if (!Have(tool)) GTEST_SKIP() << "no " << tool;
    // Xvfb picks a free display and writes its number to the descriptor given.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string fd = std::to_string(fds[1]);
    const bool started = server_.Start(
        {"Xvfb", "-displayfd", fd, "-nolisten", "tcp", "-screen", "0",
         std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24"},
        Environment());
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char number[32] = {};
    if (started && poll(&p, 1, 20000) > 0) (void)!read(fds[0], number, sizeof number - 1);
    close(fds[0]);
    ASSERT_TRUE(number[0] >= '0' && number[0] <= '9') << "Xvfb gave no display";
    display_ = ":" + std::to_string(std::atoi(number));
  }

  std::vector<std::string> Environment() const {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
      if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0)
        env.emplace_back(*e);
    if (!display_.empty()) env.push_back("DISPLAY=" + display_);
    // The X libraries keep a few allocations for the life of a process; a leak check under the
    // sanitizers would report those, not the stand-in's.
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    return env;
  }

  std::string X(const std::string& command) const {
    return Output("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
  }

  // The demo's one visible window as X sees it, asked until it is `want` or a second passes.
  Geometry VisibleWindow(pid_t pid, const Geometry& want, std::string& ids) {
    Geometry g;
    for (int i = 0; i < 20; ++i) {
      ids = X("xdotool search --onlyvisible --pid " + std::to_string(pid));
      const std::string info = X("xwininfo -id " + ids.substr(0, ids.find('\n')));
      g = {Field(info, "Absolute upper-left X:"), Field(info, "Absolute upper-left Y:"),
           Field(info, "Width:"), Field(info, "Height:")};
      if (g == want && ids.find('\n') + 1 == ids.size()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return g;
  }

  Child server_;
  std::string display_;
};

TEST_F(XPlacement, FullScreenCoversTheScreenAtStartAndAfterEachToggle) {
  Child demo;
  std::vector<std::string> env = Environment();
  env.push_back("SDL_AUDIODRIVER=dummy");
  ASSERT_TRUE(demo.Start({WIN32_DEMO_PATH, "--full-screen"}, env));
  const Geometry screen{0, 0, kScreenWidth, kScreenHeight};

  // Start in full screen, then to the window and back: each mode's placement, then its first
  // frame, after which the placement must still hold.
  const int modes[] = {1, 0, 1};
  for (size_t step = 0; step < std::size(modes); ++step) {
    const int full = modes[step];
    SCOPED_TRACE("fullscreen " + std::to_string(full));
    const std::string placed = demo.WaitFor("fullscreen " + std::to_string(full) + " style", 30);
    ASSERT_FALSE(placed.empty()) << demo.Transcript();
    ASSERT_FALSE(demo.WaitFor("drawn fullscreen " + std::to_string(full), 30).empty())
        << demo.Transcript();
    Geometry want = screen;
    if (!full) {
      // The window's client area, which is the X window when nothing decorates it.
      int w = 0, h = 0, x = 0, y = 0;
      ASSERT_EQ(std::sscanf(placed.c_str() + placed.find("client"), "client %dx%d at %d,%d", &w, &h,
                            &x, &y),
                4)
          << placed;
      want = {x, y, w, h};
    }
    std::string ids;
    const Geometry seen = VisibleWindow(demo.Pid(), want, ids);
    EXPECT_EQ(Describe(seen), Describe(want)) << "visible windows:\n" << ids << demo.Transcript();
    if (step + 1 < std::size(modes)) {
      const std::string id = ids.substr(0, ids.find('\n'));
      ASSERT_FALSE(id.empty()) << demo.Transcript();
      X("xdotool key --window " + id + " alt+Return");
    }
  }
}

}  // namespace
