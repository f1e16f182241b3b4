// HTTP requests against the loopback server of the network tests (tests/net/http_server.py),
// in real time.
//
//   net_bench replies          requests the server receives for one PostUrl against each reply
//                              that is not well-formed HTTP and against a server that drops the
//                              connection, asynchronous and synchronous (all cases side by side;
//                              up to 35 s when every attempt fails)
//   net_bench big [N] [MB]     N asynchronous PostUrl (default 32) whose answers are MB megabytes
//                              each (default 100), through the game object and a script: the
//                              longest gap between two turns of the message loop that found no
//                              message (frames), the time until every answer was delivered, the
//                              bytes the script received and the peak resident memory
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

long PeakResidentKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

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

int Big(int n, long megabytes, const fs::path& folder) {
  InitializeKeshLogEngine();
  LogEngine->MainLog = LogEngine->AddLogFile((folder / "bench.log").string());
  TMainForm form;
  form.LuaHost = std::make_unique<TMyLua>(false);
  form.LuaHost->RegisterFunctions(&form);
  lua_State* L = form.LuaHost->LuaState;
  const std::string script = "received, answers = 0, 0\n"
                             "function ok(text) received = received + #text; answers = answers + 1 end\n"
                             "function err(text) answers = answers + 1 end\n"
                             "for i = 1, " + std::to_string(n) + " do\n"
                             "  PostUrl('ok', 'err', '" + g_host + "', 'big?size=" +
                             std::to_string(megabytes * 1000000) + "&k=big' .. i, 'x')\n"
                             "end\n";
  if (form.LuaHost->DoString(script.c_str()) != 0) {
    std::fprintf(stderr, "script: %s\n", lua_tostring(L, -1));
    return 1;
  }
  auto global = [&](const char* name) {
    lua_getglobal(L, name);
    const double v = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return v;
  };
  const Clock::time_point start = Clock::now();
  Clock::time_point lastFrame = start;
  Clock::duration longest{};
  long frames = 0;
  while (global("answers") < n || TKeshConnect::InFlight() != 0) {
    if (!Turn()) continue;
    const Clock::time_point now = Clock::now();
    longest = std::max(longest, now - lastFrame);
    lastFrame = now;
    ++frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%d answers of %ld MB: longest frame gap %.0f ms, %ld frames, all delivered after %.1f s, "
              "%.0f MB received by the script, peak resident %ld MB\n",
              n, megabytes, std::chrono::duration<double, std::milli>(longest).count(), frames, seconds,
              global("received") / 1e6, PeakResidentKb() / 1024);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode != "replies" && mode != "big") {
    std::fprintf(stderr, "usage: net_bench replies | big [N] [MB]\n");
    return 2;
  }
  for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  const fs::path folder = fs::temp_directory_path() / ("quorrel-net-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  if (!StartServer(folder)) {
    std::fprintf(stderr, "the server did not start\n");
    return 1;
  }
  const int result = mode == "replies" ? Replies()
                                       : Big(argc > 2 ? std::atoi(argv[2]) : 32, argc > 3 ? std::atol(argv[3]) : 100,
                                             folder);
  StopServer();
  fs::remove_all(folder);
  return result;
}
