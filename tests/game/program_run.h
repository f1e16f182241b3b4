// Runs the built program on a scratch copy of a fixture game, the way a player starts it, with
// the home, data, configuration and per-user folders in scratch too and a recording xdg-open
// first on the path, so that nothing it does reaches the source tree, the user's folders or a
// browser. Standard error and every log file are gathered for the test.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "game_test_support.h"

extern char** environ;

namespace game_test {

// A guard against a hang, far beyond what a run takes even under the sanitizers (seconds), and
// inside the suite's own time-out, so that a hang shows the run's last progress.
constexpr auto kHangGuard = std::chrono::minutes(5);

struct ProgramRun {
  bool ended = false;  // false: killed by the guard
  int exitCode = -1;   // 1000 + signal when a signal ended it
  std::string errors;  // standard error
  std::string logs;    // the program folder's "Log.txt" and every log file under the home
};

// The user a run takes. Root reads and writes through any file mode, so tests of what a player
// may not read or write run the program as an ordinary user.
struct RunUser {
  uid_t uid = 0;
  gid_t gid = 0;
};

// Becomes the user in a child about to run the program; false when that is refused.
inline bool BecomeUser(const RunUser& user) {
  if (getuid() == user.uid && getgid() == user.gid) return true;
  return setgroups(0, nullptr) == 0 && setgid(user.gid) == 0 && setuid(user.uid) == 0 && getuid() == user.uid;
}

// The test's own user when it is not root; "nobody" when it is, if this process may switch to it.
// Empty, with the reason, when no ordinary user can be had.
inline std::optional<RunUser> OrdinaryUser(std::string& why) {
  if (getuid() != 0) return RunUser{getuid(), getgid()};
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr) {
    why = "the tests run as root and there is no user \"nobody\" to run the program as";
    return std::nullopt;
  }
  const RunUser user{nobody->pw_uid, nobody->pw_gid};
  const pid_t pid = fork();
  if (pid == 0) _exit(BecomeUser(user) ? 0 : 1);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    why = "the tests run as root and cannot switch to the user \"nobody\" here";
    return std::nullopt;
  }
  return user;
}

// Gives the folder and everything in it to the user.
inline void GiveTo(const std::filesystem::path& folder, const RunUser& user) {
  if (getuid() != 0) return;
  (void)lchown(folder.c_str(), user.uid, user.gid);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    (void)lchown(entry.path().c_str(), user.uid, user.gid);
  }
}

// The parent's environment with the user's folders, the display and the search path replaced.
// Without APPDATA and XDG_DATA_HOME the per-user files go where a player's do: ~/.local/share.
inline std::vector<std::string> ScratchEnvironment(const std::filesystem::path& home, const std::filesystem::path& bin,
                                                   bool withAppData) {
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
  if (withAppData) {
    env.push_back("XDG_DATA_HOME=" + (home / ".local" / "share").string());
    env.push_back("APPDATA=" + (home / "AppData").string());
  }
  env.push_back("XDG_CONFIG_HOME=" + (home / ".config").string());
  env.push_back("XDG_CACHE_HOME=" + (home / ".cache").string());
  env.push_back("XDG_STATE_HOME=" + (home / ".local" / "state").string());
  env.push_back("PATH=" + bin.string() + ":/usr/bin:/bin");
  env.push_back("SDL_VIDEODRIVER=dummy");
  env.push_back("SDL_AUDIODRIVER=dummy");
  return env;
}

// Copies the fixture game data/<fixture> to root/game and links the program into it, with an
// empty home root/home beside it; nothing when the game folder is there already.
inline void PrepareGame(const std::string& fixture, const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  const fs::path game = root / "game", bin = root / "bin";
  if (fs::exists(game)) return;
  fs::copy(fs::path(QUORREL_TEST_DATA) / fixture, game, fs::copy_options::recursive);
  fs::create_symlink(QUORREL_PROGRAM, game / "quorrel");
  fs::create_directories(root / "home");
  WriteFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + (root / "opened.txt").string() + "'\n");
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
}

// A run of the program of PrepareGame that is under way.
struct StartedProgram {
  pid_t pid = -1;           // also its process group
  std::string errPath;      // where its standard error goes
};

// Starts the program of PrepareGame from "/" (it finds its folder by itself) with root/home as
// the home folder and the extra "NAME=value" environment entries last (they win), as User when
// one is given, in a process group of its own. Wrapper, when given, is a command line that runs
// the program (a tracer, say): the program's path is appended to it. Tag names the run's
// standard output and error files, so that runs at the same time keep theirs apart.
inline StartedProgram StartProgram(const std::string& fixture, const std::filesystem::path& root, bool withAppData = true,
                                   const std::vector<std::string>& extraEnv = {},
                                   const std::optional<RunUser>& user = std::nullopt,
                                   const std::vector<std::string>& wrapper = {}, const std::string& tag = "") {
  namespace fs = std::filesystem;
  PrepareGame(fixture, root);
  const fs::path game = root / "game", home = root / "home", bin = root / "bin";
  // Another user may not reach the build folder (a checkout in root's home): that run gets a
  // copy of the program instead of the link.
  if (user && user->uid != getuid() && fs::is_symlink(game / "quorrel")) {
    fs::remove(game / "quorrel");
    fs::copy_file(QUORREL_PROGRAM, game / "quorrel");
  }
  std::vector<std::string> env = ScratchEnvironment(home, bin, withAppData);
  for (const std::string& extra : extraEnv) {
    const std::string name = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    env.push_back(extra);
  }
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = wrapper;
  args.push_back((game / "quorrel").string());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  StartedProgram started;
  started.errPath = (root / ("stderr" + tag + ".txt")).string();
  const std::string outPath = (root / ("stdout" + tag + ".txt")).string();

  started.pid = fork();
  if (started.pid == 0) {
    setpgid(0, 0);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(started.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    if (user && !BecomeUser(*user)) _exit(126);
    if (chdir("/") != 0) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (started.pid > 0) setpgid(started.pid, started.pid);  // whichever of the two runs first
  return started;
}

// Waits for the run to end (killing its process group should it hang) and gathers what it left.
inline ProgramRun FinishProgram(const StartedProgram& started, const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  ProgramRun run;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (started.pid > 0 && !run.ended && std::chrono::steady_clock::now() < deadline) {
    if (waitpid(started.pid, &status, WNOHANG) == started.pid) {
      run.ended = true;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (started.pid > 0 && !run.ended) {
    kill(-started.pid, SIGKILL);
    waitpid(started.pid, nullptr, 0);
  } else if (run.ended) {
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  run.errors = ReadFile(started.errPath);
  run.logs = ReadFile(root / "game" / "Log.txt");
  for (const auto& entry : fs::recursive_directory_iterator(root / "home")) {
    if (entry.is_regular_file() && entry.path().extension() == ".log") run.logs += ReadFile(entry.path());
  }
  return run;
}

// Runs the program of PrepareGame to its end (see StartProgram).
inline ProgramRun RunProgram(const std::string& fixture, const std::filesystem::path& root, bool withAppData = true,
                             const std::vector<std::string>& extraEnv = {},
                             const std::optional<RunUser>& user = std::nullopt) {
  return FinishProgram(StartProgram(fixture, root, withAppData, extraEnv, user), root);
}

// The path of a program found on the search path or in the system's own program folders (tools
// such as mkfs live there, which an ordinary user's search path may lack), or empty.
inline std::string OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  const std::string folders = (path != nullptr ? std::string(path) + ":" : std::string()) + "/usr/sbin:/sbin:/usr/bin:/bin";
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::filesystem::path candidate = std::filesystem::path(folders.substr(start, end - start)) / program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return {};
}

// The strace that runs here with Inject (an -e inject= text such as "write:delay_enter=1"), or
// empty where it is not installed or tracing is not permitted.
inline std::string StraceThatInjects(const std::string& inject) {
  const std::string strace = OnPath("strace");
  if (strace.empty() || system((strace + " -o /dev/null -e inject=" + inject + " true >/dev/null 2>&1").c_str()) != 0) {
    return {};
  }
  return strace;
}

// The last lines of a text, for a failure message.
inline std::string Tail(const std::string& text, int lines = 30) {
  std::size_t start = text.size();
  while (lines-- > 0 && start > 0) {
    const std::size_t newline = text.rfind('\n', start - 1);
    if (newline == std::string::npos) return "\n" + text;
    start = newline;
  }
  return text.substr(start);
}

}  // namespace game_test
