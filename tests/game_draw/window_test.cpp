// What a real window shows: the built program runs a still scene under Xvfb (started here, with
// no window manager, as CI runs), and the window's pixels, read back from the X server, are
// compared with the headless capture of the same frame made in this process. Bit for bit where
// the window and the back buffer have the same size (a window on a large screen, full screen
// with its text scaled); against the scaler's portable rows where they differ (the fixed
// 800 x 600 window of a 1024 x 768 game on a 1024 x 768 screen). The same run on an emulated
// processor without AVX2 (qemu-user) proves the portable kernels in a window.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "draw_fixture.h"
#include "platform/d3d9/present_sdl.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_system.h"
#include "support/commands.h"

extern char** environ;

namespace draw_test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using test_support::Have;
using test_support::Output;

// An X server of its own on a free display, for the life of the object.
class VirtualDisplay {
 public:
  // A display number of its own per process (servers started side by side with -displayfd
  // were seen to lose their displays), the next one when that is taken.
  VirtualDisplay(int width, int height) {
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    for (int attempt = 0; attempt < 8 && display_.empty(); ++attempt) {
      const int number = 200 + static_cast<int>(getpid() % 4000) * 8 + attempt;
      const std::string name = ":" + std::to_string(number);
      pid_ = fork();
      if (pid_ == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      const fs::path socket = "/tmp/.X11-unix/X" + std::to_string(number);
      for (int i = 0; i < 200; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) != 0) {
          pid_ = -1;  // taken, or no server at all
          break;
        }
        if (fs::exists(socket) && Output("DISPLAY=" + name + " xwininfo -root >/dev/null 2>&1 && echo up") == "up\n") {
          display_ = name;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (display_.empty() && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
      }
    }
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Name() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// The program of the build, started from a game folder in a window on the display; killed when
// the object goes.
class WindowedProgram {
 public:
  WindowedProgram(const fs::path& game, const std::string& display, const std::vector<std::string>& args,
                  bool emulateOldProcessor) {
    const fs::path home = game.parent_path() / "home";
    fs::create_directories(home);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      if (name != "DISPLAY" && name != "SDL_VIDEODRIVER" && name != "HOME" && name != "APPDATA" &&
          name != "XDG_DATA_HOME")
        env.push_back(entry);
    }
    env.push_back("DISPLAY=" + display);
    env.push_back("HOME=" + home.string());
    env.push_back("SDL_AUDIODRIVER=dummy");
    env.push_back("SDL_RENDER_VSYNC=0");
    std::vector<std::string> argv;
    if (emulateOldProcessor) argv = {"qemu-x86_64", "-cpu", "Nehalem"};
    argv.push_back((game / "quorrel").string());
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string errors = (game.parent_path() / "stderr.txt").string();
    pid_ = fork();
    if (pid_ == 0) {
      const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, 1);
      dup2(err, 2);
      std::vector<char*> a, e;
      for (std::string& s : argv) a.push_back(s.data());
      a.push_back(nullptr);
      for (std::string& s : env) e.push_back(s.data());
      e.push_back(nullptr);
      execvpe(a[0], a.data(), e.data());
      _exit(127);
    }
  }
  ~WindowedProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t Pid() const { return pid_; }
  bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid_ = -1;
};

// The pixels of a window, 0xRRGGBB, as the X server holds them; empty when the window is not
// there or not of that size.
std::vector<uint32_t> ReadWindow(const std::string& display, const std::string& window, int width, int height) {
  const std::string rgb = Output("DISPLAY=" + display + " import -silent -window " + window + " -depth 8 rgb:- 2>/dev/null");
  if (rgb.size() != static_cast<size_t>(width) * height * 3) return {};
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = uint32_t{static_cast<uint8_t>(rgb[3 * i])} << 16 | uint32_t{static_cast<uint8_t>(rgb[3 * i + 1])} << 8 |
                static_cast<uint8_t>(rgb[3 * i + 2]);
  return pixels;
}

size_t Differences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return std::max(a.size(), b.size());
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
  return n;
}

class WindowTest : public DrawTest {
 protected:
  void SetUp() override {
    DrawTest::SetUp();
    for (const char* tool : {"Xvfb", "import", "xdotool"})
      ASSERT_TRUE(Have(tool)) << tool << " is missing: scripts/setup.sh installs it";
    game_ = fs::path(dir_) / "run" / "game";
    fs::create_directories(game_);
    fs::copy(fs::path(QUORREL_TEST_DATA) / "window" / "data", game_ / "data", fs::copy_options::recursive);
    fs::copy(fs::path(QUORREL_SOURCE_DIR) / "demo" / "data" / "Textures", game_ / "data" / "Textures",
             fs::copy_options::recursive);
    fs::create_symlink(QUORREL_PROGRAM, game_ / "quorrel");
    platform::win32::seam::SetTickSource([] { return platform::win32::DWORD{100000}; });
  }
  void TearDown() override {
    platform::win32::seam::SetTickSource({});
    platform::d3d9::SetCaptureFrames(false);
    platform::d3d9::TakeCapturedFrames();
    StartFullScreen = 0;
    DrawTest::TearDown();
  }

  // The still scene's frame made headless, on a screen of this size.
  CapturedFrame Headless(int screenW, int screenH, bool fullScreen) {
    platform::win32::testing::VirtualScreen screen;
    screen.width = screenW;
    screen.height = screenH;
    screen.usable = {0, 0, screenW, screenH};
    platform::win32::testing::SetVirtualScreen(screen);
    platform::d3d9::SetCaptureFrames(true);
    StartFullScreen = fullScreen ? 1 : 0;
    form.ProgramFolder = game_.string();
    form.WindowHandle = Window();
    form.FormCreate();
    form.CreateResources_Testing();
    for (int i = 0; i < 40 && form.Loading; ++i) form.Draw();
    platform::d3d9::TakeCapturedFrames();
    form.Draw();
    std::vector<CapturedFrame> frames = platform::d3d9::TakeCapturedFrames();
    return frames.empty() ? CapturedFrame{} : frames.back();
  }

  // Runs the program on a screen of this size until its window shows what `expected` gives for
  // the window's size (nothing: a size it must not have), or a minute (three under emulation)
  // has passed.
  using Expected = std::function<std::vector<uint32_t>(int width, int height)>;
  void ExpectWindowShows(int screenW, int screenH, const std::vector<std::string>& args, bool emulate,
                         const Expected& expected) {
    VirtualDisplay display(screenW, screenH);
    ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
    WindowedProgram program(game_, display.Name(), args, emulate);
    const auto deadline = Clock::now() + std::chrono::seconds(emulate ? 180 : 60);
    const std::string x = "DISPLAY=" + display.Name() + " ";
    std::string window, size = "none";
    size_t differences = 0;
    while (Clock::now() < deadline && program.Running()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      if (window.empty()) {
        window = Output(x + "xdotool search --onlyvisible --pid " + std::to_string(program.Pid()) + " 2>/dev/null | head -1");
        while (!window.empty() && (window.back() == '\n' || window.back() == ' ')) window.pop_back();
        continue;
      }
      int width = 0, height = 0;
      if (std::sscanf(Output(x + "xwininfo -id " + window + " | grep -E 'Width|Height' | tr -dc '0-9\\n' | tr '\\n' ' '").c_str(),
                      "%d %d", &width, &height) != 2)
        continue;
      size = std::to_string(width) + "x" + std::to_string(height);
      const std::vector<uint32_t> want = expected(width, height);
      if (want.empty()) continue;
      differences = Differences(ReadWindow(display.Name(), window, width, height), want);
      if (differences == 0) return;
    }
    ADD_FAILURE() << (window.empty() ? "no window appeared" : "the window never showed the frame") << "; window "
                  << size << ", " << differences << " pixels differ" << (program.Running() ? "" : "; the program ended")
                  << "\n" << ReadText("run/stderr.txt") << "\nwindows on " << display.Name() << ":\n"
                  << Output(x + "xwininfo -root -children 2>&1");
  }
  static Expected Exactly(const CapturedFrame& f) {
    return [&f](int width, int height) {
      return width == f.width && height == f.height ? f.pixels : std::vector<uint32_t>{};
    };
  }

  fs::path game_;
};

TEST_F(WindowTest, AWindowOfTheBackBuffersSizeShowsItsFrameBitForBit) {
  const CapturedFrame f = Headless(1280, 1024, false);
  ASSERT_EQ(f.width, 1024);
  ASSERT_EQ(f.height, 768);
  ExpectWindowShows(1280, 1024, {"-w"}, false, Exactly(f));
}

TEST_F(WindowTest, AWindowOfAnotherSizeShowsTheScaledFrame) {
  // The game does not fit above the screen's bottom: the window is 800 x 600 with its frame.
  const CapturedFrame f = Headless(1024, 768, false);
  ASSERT_EQ(f.width, 1024);
  ExpectWindowShows(1024, 768, {"-w"}, false, [&](int width, int height) {
    if (width >= f.width || height >= f.height || width < 780 || height < 560) return std::vector<uint32_t>{};
    platform::d3d9::BilinearScaler scaler;
    scaler.Prepare(f.width, f.height, width, height);
    std::vector<uint32_t> scaled(static_cast<size_t>(width) * height);
    scaler.RowsPortable(f.pixels.data(), scaled.data(), width, 0, height);
    return scaled;
  });
}

TEST_F(WindowTest, FullScreenOnALargerScreenShowsItsFrameWithTheTextInPlace) {
  const CapturedFrame f = Headless(1920, 1080, true);
  ASSERT_EQ(f.width, 1920);
  ASSERT_EQ(f.height, 1080);
  // "Still scene" at (440, 60) in the game's 1024 x 768 lies at (825, 84) on the screen, at
  // 1.875 x 1.40625 its size: its gold is there and not at the logical place.
  const auto gold = [&](int left, int top, int right, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) {
        const uint32_t c = Pixel(f, x, y);
        n += (c >> 16) > 0xC0 && ((c >> 8) & 0xFF) > 0xA0 && (c & 0xFF) < 0x80;
      }
    return n;
  };
  EXPECT_GT(gold(825, 84, 825 + 200, 84 + 28), 200);
  EXPECT_EQ(gold(440, 60, 540, 66), 0);
  ExpectWindowShows(1920, 1080, {}, false, Exactly(f));
}

// Started in full screen with the pointer resting at the screen's centre, the game's first mouse
// position is that place in its drawing coordinates, not the place the pointer had in the window
// before the window became the screen.
TEST_F(WindowTest, FullScreenGivesTheScriptsThePointersTruePlaceFirst) {
  fs::remove_all(game_ / "data");
  fs::copy(fs::path(QUORREL_SOURCE_DIR) / "demo" / "data", game_ / "data", fs::copy_options::recursive);
  const fs::path moves = fs::path(dir_) / "moves.txt";
  {
    std::FILE* lua = std::fopen((game_ / "data" / "AllLua.lua").c_str(), "a");
    ASSERT_NE(lua, nullptr);
    std::fprintf(lua,
                 "\nlocal gameMove = A_MouseMove\n"
                 "function A_MouseMove(oldX, oldY, x, y)\n"
                 "  local f = io.open(\"%s\", \"a\"); f:write(x .. \" \" .. y .. \"\\n\"); f:close()\n"
                 "  gameMove(oldX, oldY, x, y)\n"
                 "end\n",
                 moves.c_str());
    std::fclose(lua);
  }
  VirtualDisplay display(800, 600);
  ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
  ASSERT_EQ(std::system(("DISPLAY=" + display.Name() + " xdotool mousemove 400 300").c_str()), 0);
  WindowedProgram program(game_, display.Name(), {}, false);
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  std::string first;
  while (Clock::now() < deadline && program.Running() && first.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string all = ReadText("moves.txt");
    if (all.find('\n') != std::string::npos) first = all.substr(0, all.find('\n'));
  }
  // The 800 x 600 screen holds the game's 1024 x 768 at 1.28 pixels a screen pixel.
  EXPECT_EQ(first, "512 384") << ReadText("moves.txt") << ReadText("run/stderr.txt");
}

TEST_F(WindowTest, AProcessorWithoutAvx2ShowsTheSameFrame) {
#ifdef QUORREL_SANITIZED
  GTEST_SKIP() << "a sanitized program does not run under qemu-user; the plain and portable builds run this";
#endif
  ASSERT_TRUE(Have("qemu-x86_64")) << "qemu-user is missing: scripts/setup.sh installs it";
  const CapturedFrame f = Headless(1280, 1024, false);
  ExpectWindowShows(1280, 1024, {"-w"}, true, Exactly(f));
}

}  // namespace
}  // namespace draw_test
