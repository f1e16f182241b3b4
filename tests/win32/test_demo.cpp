// The demo program runs headless and follows its own script of desktop events through the
// stand-in: keys, text, mouse, wheel, Alt+Enter there and back, a hand-over from a worker, and a
// close from the desktop.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void RunSelfTest(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  const int status = pclose(pipe);
  EXPECT_EQ(status, 0) << output;
  const char* expected[] = {
      "WM_ACTIVATEAPP 1", "WM_ACTIVATE 1 0", "WM_SIZE 0 640 480",
      "WM_KEYDOWN 65",    "WM_CHAR 97",      "WM_MOUSEMOVE 10 20",
      "WM_LBUTTONDOWN 10 20", "WM_LBUTTONUP 10 20", "WM_MOUSEWHEEL 7864320",
      "WM_SYSKEYDOWN 13", "fullscreen 1 style 90000000",
      "fullscreen 0 style 10CA0000 client 640x480", "WM_CLOSE", "quit 0"};
  EXPECT_NE(output.find("hand-over on the main thread: yes"), std::string::npos) << output;
  size_t at = 0;
  for (const char* line : expected) {
    const size_t found = output.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing in order: " << line << "\n" << output;
    at = found;
  }
}

}  // namespace

TEST(Demo, RunsHeadlessFromKeysToClose) {
  RunSelfTest(std::string("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 60 ") +
              WIN32_DEMO_PATH + " --self-test 2>&1");
}

// The same run with a real X server, where one is available to start.
TEST(Demo, RunsUnderXvfbTheSameWay) {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xvfb-run";
  // The X libraries keep a few allocations for the life of a process; a leak check under the
  // sanitizers would report those, not the stand-in's.
  RunSelfTest(std::string("env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 "
                          "timeout 60 xvfb-run -a -s "
                          "'-screen 0 1280x1024x24' ") +
              WIN32_DEMO_PATH + " --self-test 2>&1");
}
