// End to end: the built program runs the fixture game data/sweep, whose script calls every
// operation the runtime registered with hostile arguments (no arguments, nil, odd strings, NaN,
// infinities, numbers past the 32-bit range, tables, 30 arguments), once before the game has a
// device and once with one. A script error is an operation's answer to bad arguments and is
// fine; the program must neither crash, trip a sanitizer nor hang, and must end with exit code 0
// through QuitGame after its last call.
//
// The run happens in a scratch copy of the fixture, with the home, data, configuration and
// per-user folders in scratch too and a recording xdg-open first on the path, so that nothing it
// does reaches the source tree, the user's folders or a browser.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "game/main.h"
#include "game_test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using game_test::ReadFile;
using game_test::WriteFile;

// A guard against a hang, far beyond what a run takes even under the sanitizers (seconds), and
// inside the suite's own time-out, so that a hang shows the sweep's last progress.
constexpr auto kHangGuard = std::chrono::minutes(5);

struct SweepRun {
  bool ended = false;  // false: killed by the guard
  int exitCode = -1;   // 1000 + signal when a signal ended it
  std::string errors;  // standard error
  std::string logs;    // the main log and every log file under the scratch home
};

// The parent's environment with the user's folders, the display and the search path replaced.
std::vector<std::string> SweepEnvironment(const fs::path& home, const fs::path& bin) {
  const char* const replaced[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                  "XDG_STATE_HOME", "APPDATA", "PATH", "DISPLAY", "WAYLAND_DISPLAY",
                                  "SDL_VIDEODRIVER", "SDL_AUDIODRIVER"};
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool keep = true;
    for (const char* r : replaced) keep = keep && name != r;
    if (keep) env.push_back(entry);
  }
  env.push_back("HOME=" + home.string());
  env.push_back("XDG_DATA_HOME=" + (home / ".local" / "share").string());
  env.push_back("XDG_CONFIG_HOME=" + (home / ".config").string());
  env.push_back("XDG_CACHE_HOME=" + (home / ".cache").string());
  env.push_back("XDG_STATE_HOME=" + (home / ".local" / "state").string());
  env.push_back("APPDATA=" + (home / "AppData").string());
  env.push_back("PATH=" + bin.string() + ":/usr/bin:/bin");
  env.push_back("SDL_VIDEODRIVER=dummy");
  env.push_back("SDL_AUDIODRIVER=dummy");
  return env;
}

SweepRun RunSweep(const fs::path& root) {
  const fs::path game = root / "game", home = root / "home", bin = root / "bin";
  fs::copy(fs::path(QUORREL_TEST_DATA) / "sweep", game, fs::copy_options::recursive);
  fs::create_symlink(QUORREL_PROGRAM, game / "quorrel");
  fs::create_directories(home);
  WriteFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + (root / "opened.txt").string() + "'\n");
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);

  std::vector<std::string> env = SweepEnvironment(home, bin);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = (game / "quorrel").string();
  char* argv[] = {program.data(), nullptr};
  const std::string errPath = (root / "stderr.txt").string(), outPath = (root / "stdout.txt").string();

  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    if (chdir("/") != 0) _exit(126);  // the program finds its folder by itself
    execve(program.c_str(), argv, envp.data());
    _exit(127);
  }

  SweepRun run;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (!run.ended && std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      run.ended = true;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (!run.ended) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  } else {
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  run.errors = ReadFile(errPath);
  run.logs = ReadFile(game / "Log.txt");
  for (const auto& entry : fs::recursive_directory_iterator(home)) {
    if (entry.is_regular_file() && entry.path().extension() == ".log") run.logs += ReadFile(entry.path());
  }
  return run;
}

// The last lines of a text, for a failure message.
std::string Tail(const std::string& text, int lines = 30) {
  std::size_t start = text.size();
  while (lines-- > 0 && start > 0) {
    const std::size_t newline = text.rfind('\n', start - 1);
    if (newline == std::string::npos) return "\n" + text;
    start = newline;
  }
  return text.substr(start);
}

TEST(HostileArgumentSweepTest, EveryOperationSurvivesHostileArgumentsThroughTheProgram) {
  const SweepRun run = RunSweep(game_test::NewFolder("sweep"));
  ASSERT_TRUE(run.ended) << "no end within the guard; last progress:" << Tail(run.errors);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  for (const char* report : {"runtime error:", "AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer"}) {
    EXPECT_EQ(run.errors.find(report), std::string::npos) << report << Tail(run.errors);
  }

  // Both rounds reached every operation that the registration table publishes, and the last
  // calls ended the program.
  const std::string count = std::to_string(TMainForm::Published.Operations.size()) + " operations";
  for (const std::string& mark : {"sweep: round 1 done, " + count, "sweep: round 2 done, " + count,
                                  std::string("sweep: finished")}) {
    EXPECT_NE(run.logs.find(mark), std::string::npos) << mark << Tail(run.logs) << Tail(run.errors);
  }
  EXPECT_NE(run.logs.find("TMainForm.QuitGame"), std::string::npos) << Tail(run.logs);
  EXPECT_EQ(run.logs.find("sweep: QuitGame returned"), std::string::npos);
}

}  // namespace
