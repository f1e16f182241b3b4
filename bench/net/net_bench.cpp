// HTTP requests against the loopback server of the network tests (tests/net/http_server.py),
// in real time.
//
//   net_bench replies          requests the server receives for one PostUrl against each reply
//                              that is not well-formed HTTP and against a server that drops the
//                              connection, asynchronous and synchronous (all cases side by side;
//                              up to 35 s when every attempt fails)
//   net_bench big [N] [MiB]    N asynchronous PostUrl (default 8) whose answers are MiB each
//                              (default 64, the size cap), through the game object and a script:
//                              the longest gap between two turns of the message loop that found
//                              no message (frames), the time until every answer was delivered,
//                              the bytes the script received and the peak resident memory
//   net_bench memory [B] [N]   B batches (default 3) of N asynchronous GETs (default 40) whose
//                              answers are 3 to 30 MiB, through the game object and a script:
//                              resident memory before the first and after each batch, once every
//                              answer is delivered and the script's garbage collected
//
// A frame here does no drawing; it sleeps 1 ms, so the gaps are what the deliveries cost.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <lua.hpp>

#include "foundation/KeshLogEngine.h"
#include "game/main.h"
#include "net/KeshUrlConnect.h"
#include "platform/win32/win32_messages.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;
using Clock = std::chrono::steady_clock;

namespace {

fs::path g_records;
std::string g_host;
pid_t g_server = -1;

bool StartServer(const fs::path& folder) {
  g_records = folder / "records.txt";
  int out[2];
  if (pipe(out) != 0) return false;
  g_server = fork();
  if (g_server == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execl(QUORREL_PYTHON, QUORREL_PYTHON, QUORREL_HTTP_SERVER, g_records.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* from = fdopen(out[0], "r");
  unsigned port = 0;
  const bool ok = std::fscanf(from, "port %u", &port) == 1;
  std::fclose(from);
  g_host = "127.0.0.1:" + std::to_string(port);
  return ok;
}

void StopServer() {
  if (g_server > 0) {
    kill(g_server, SIGTERM);
    waitpid(g_server, nullptr, 0);
  }
}

// Requests the server received, by key.
std::map<std::string, int> Counts() {
  std::map<std::string, int> counts;
  std::ifstream in(g_records);
  std::string line;
  while (std::getline(in, line)) ++counts[line.substr(0, line.find('\t'))];
  return counts;
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// One turn of the message loop; true when it found no message (a frame would run).
bool Turn() {
  w32::MSG m;
  if (w32::PeekMessageA(&m, nullptr, 0, 0, w32::PM_REMOVE)) {
    w32::DispatchMessageA(&m);
    return false;
  }
  return true;
}

long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return 0;
}

long PeakResidentKb() { return StatusKb("VmHWM:"); }
long ResidentKb() { return StatusKb("VmRSS:"); }

// The game object with its script host, the main log in Folder and the answer functions: ok
// counts the answers and the bytes they brought in "received" and "answers".
struct TBenchGame {
  explicit TBenchGame(const fs::path& folder) {
    InitializeKeshLogEngine();
    LogEngine->MainLog = LogEngine->AddLogFile((folder / "bench.log").string());
    form.LuaHost = std::make_unique<TMyLua>(false);
    form.LuaHost->RegisterFunctions(&form);
    L = form.LuaHost->LuaState;
    Run("received, answers = 0, 0\n"
        "function ok(text) received = received + #text; answers = answers + 1 end\n"
        "function err(text) answers = answers + 1 end\n");
  }

  bool Run(const std::string& script) {
    if (form.LuaHost->DoString(script.c_str()) == 0) return true;
    std::fprintf(stderr, "script: %s\n", lua_tostring(L, -1));
    lua_pop(L, 1);
    return false;
  }

  double Global(const char* name) {
    lua_getglobal(L, name);
    const double v = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return v;
  }

  TMainForm form;
  lua_State* L = nullptr;
};

int Replies() {
  std::string noise;
  for (unsigned i = 0; i < 200; ++i) noise += static_cast<char>((i * 151 + 17) % 251 + 1);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"HTTP/1.1 abc def", "raw=" + Hex("HTTP/1.1 abc def\r\n\r\nbody")},
      {"HTTP/9.9 200", "raw=" + Hex("HTTP/9.9 200\r\n\r\nbody")},
      {"garbage status line", "raw=" + Hex("this is no status line\r\n\r\nbody")},
      {"random bytes", "raw=" + Hex(noise)},
      {"endless headers", "endless"},
      {"4 MiB header line", "longheader"},
      {"dropped, no reply", "drop"},  // a send that truly fails: tried again, with pauses
  };
  rtl::TStringList lines;
  lines.Add("x");
  std::vector<std::string> asyncFunc(cases.size()), syncAnswer(cases.size());
  std::atomic<int> delivered{0};
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    TKeshConnect::Create(
        [&, i](const std::string& func, const std::string& answer) {
          asyncFunc[i] = func + " \"" + answer.substr(0, answer.find('\0')) + "\"";
          ++delivered;
        },
        "ok", "err", g_host, "b?k=async" + std::to_string(i) + "&" + cases[i].second, lines, false);
  }
  std::vector<std::thread> sync;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    sync.emplace_back([&, i] {
      std::string answer;
      HttpPostText(g_host, "b?k=sync" + std::to_string(i) + "&" + cases[i].second, lines, answer);
      syncAnswer[i] = "\"" + answer.substr(0, answer.find('\0')) + "\"";
    });
  }
  while (delivered < static_cast<int>(cases.size()) || TKeshConnect::InFlight() != 0) {
    Turn();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (std::thread& t : sync) t.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const std::map<std::string, int> counts = Counts();
  auto count = [&](const std::string& key) {
    const auto it = counts.find(key);
    return it == counts.end() ? 0 : it->second;
  };
  std::printf("%-22s %10s  %-34s %10s  %s\n", "reply", "async reqs", "async delivery", "sync reqs", "sync answer");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::printf("%-22s %10d  %-34s %10d  %s\n", cases[i].first.c_str(), count("async" + std::to_string(i)),
                asyncFunc[i].c_str(), count("sync" + std::to_string(i)), syncAnswer[i].c_str());
  }
  std::printf("all delivered after %.1f s\n", seconds);
  return 0;
}

int Big(int n, long mebibytes, const fs::path& folder) {
  TBenchGame game(folder);
  if (!game.Run("for i = 1, " + std::to_string(n) + " do\n"
                "  PostUrl('ok', 'err', '" + g_host + "', 'big?size=" + std::to_string(mebibytes << 20) +
                "&k=big' .. i, 'x')\n"
                "end\n")) {
    return 1;
  }
  const Clock::time_point start = Clock::now();
  Clock::time_point lastFrame = start;
  Clock::duration longest{}, longestCall{};
  long frames = 0;
  while (game.Global("answers") < n || TKeshConnect::InFlight() != 0) {
    const Clock::time_point before = Clock::now();
    const bool frame = Turn();
    const Clock::time_point now = Clock::now();
    if (!frame) {
      longestCall = std::max(longestCall, now - before);
      continue;
    }
    longest = std::max(longest, now - lastFrame);
    lastFrame = now;
    ++frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%d answers of %ld MiB: longest frame gap %.0f ms (longest message or delivery %.0f ms), %ld frames, "
              "all delivered after %.1f s, %.0f MiB received by the script, peak resident %ld MB\n",
              n, mebibytes, std::chrono::duration<double, std::milli>(longest).count(),
              std::chrono::duration<double, std::milli>(longestCall).count(), frames, seconds,
              game.Global("received") / (1 << 20), PeakResidentKb() / 1000);
  return 0;
}

int Memory(int batches, int n, const fs::path& folder) {
  TBenchGame game(folder);
  lua_gc(game.L, LUA_GCCOLLECT, 0);
  const long before = ResidentKb();
  std::printf("resident before the requests: %ld MB\n", before / 1000);
  for (int b = 0; b < batches; ++b) {
    std::string script;
    for (int i = 0; i < n; ++i) {
      const long size = (3 + (i * 7 + b * 11) % 28) << 20;  // 3 to 30 MiB
      script += "PostUrl('ok', 'err', '" + g_host + "', 'big?size=" + std::to_string(size) + "&k=mem" +
                std::to_string(b) + "_" + std::to_string(i) + "', 'x', true)\n";
    }
    if (!game.Run(script)) return 1;
    const Clock::time_point start = Clock::now();
    while (game.Global("answers") < (b + 1) * n || TKeshConnect::InFlight() != 0) {
      if (Turn()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    lua_gc(game.L, LUA_GCCOLLECT, 0);
    const long after = ResidentKb();
    std::printf("batch %d: %d answers, %.0f MiB, in %.1f s; resident after: %ld MB (%+ld MB)\n", b + 1, n,
                game.Global("received") / (1 << 20), seconds, after / 1000, (after - before) / 1000);
    game.Run("received = 0");
  }
  std::printf("peak resident %ld MB\n", PeakResidentKb() / 1000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode != "replies" && mode != "big" && mode != "memory") {
    std::fprintf(stderr, "usage: net_bench replies | big [N] [MiB] | memory [B] [N]\n");
    return 2;
  }
  for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  const fs::path folder = fs::temp_directory_path() / ("quorrel-net-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  if (!StartServer(folder)) {
    std::fprintf(stderr, "the server did not start\n");
    return 1;
  }
  const int first = argc > 2 ? std::atoi(argv[2]) : 0;
  const int second = argc > 3 ? std::atoi(argv[3]) : 0;
  const int result = mode == "replies" ? Replies()
                     : mode == "big"   ? Big(first > 0 ? first : 8, second > 0 ? second : 64, folder)
                                       : Memory(first > 0 ? first : 3, second > 0 ? second : 40, folder);
  StopServer();
  fs::remove_all(folder);
  return result;
}
