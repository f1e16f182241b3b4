#include "net_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "foundation/KeshLogEngine.h"
#include "net/KeshUrlConnect.h"
#include "platform/win32/win32_messages.h"
#include "platform/wininet/wininet.h"
#include "support/scratch.h"

namespace net_test {
namespace {

namespace fs = std::filesystem;

const fs::path& Scratch() {
  static const fs::path root = test_support::MakeScratchRoot("net");
  return root;
}

struct Server {
  pid_t pid = -1;
  std::string host;
  fs::path records;
};

Server& TheServer() {
  static Server server;
  return server;
}

class ServerEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    // The requests must reach the loopback server itself, never a proxy of the machine.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                             "no_proxy", "NO_PROXY"})
      unsetenv(name);
    Server& s = TheServer();
    s.records = Scratch() / "records.txt";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    s.pid = fork();
    if (s.pid == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      execl(QUORREL_PYTHON, QUORREL_PYTHON, QUORREL_HTTP_SERVER, s.records.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    FILE* from = fdopen(out[0], "r");
    unsigned port = 0;
    ASSERT_EQ(std::fscanf(from, "port %u", &port), 1) << "the test server did not start";
    std::fclose(from);
    s.host = "127.0.0.1:" + std::to_string(port);
  }

  void TearDown() override {
    Server& s = TheServer();
    if (s.pid > 0) {
      kill(s.pid, SIGTERM);
      waitpid(s.pid, nullptr, 0);
    }
  }
};

::testing::Environment* const serverEnvironment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::vector<std::string> Record::HeaderLines() const {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < headers.size()) {
    const std::size_t end = headers.find("\r\n", start);
    lines.push_back(headers.substr(start, end - start));
    start = end == std::string::npos ? headers.size() : end + 2;
  }
  return lines;
}

std::vector<std::string> Record::Header(const std::string& name) const {
  std::vector<std::string> values;
  for (const std::string& line : HeaderLines()) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && Lower(line.substr(0, colon)) == Lower(name))
      values.push_back(line.substr(colon + 2));
  }
  return values;
}

std::string Host() { return TheServer().host; }

std::string ClosedHost() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  close(s);
  return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

std::vector<Record> RecordsOf(const std::string& key) {
  std::vector<Record> records;
  std::ifstream in(TheServer().records);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    std::string field;
    while (std::getline(s, field, '\t')) fields.push_back(field);
    if (fields.size() < 6 || fields[0] != key) continue;
    records.push_back({fields[0], fields[1], Unhex(fields[2]), Unhex(fields[3]), Unhex(fields[4]), std::stoi(fields[5])});
  }
  return records;
}

std::string NewKey() {
  static int counter = 0;
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
  return name + std::to_string(++counter);
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

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit, int* turns) {
  namespace w32 = platform::win32;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    w32::MSG m;
    while (w32::PeekMessageA(&m, nullptr, 0, 0, w32::PM_REMOVE)) w32::DispatchMessageA(&m);
    if (turns) ++*turns;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void WaitForWorkers() {
  EXPECT_TRUE(PumpUntil([] { return TKeshConnect::InFlight() == 0; }, std::chrono::seconds(60)))
      << TKeshConnect::InFlight() << " requests still in flight";
}

TimeScale::TimeScale(platform::win32::DWORD scale) { platform::wininet::testing::SetInternetTimeScale(scale); }

TimeScale::~TimeScale() { platform::wininet::testing::SetInternetTimeScale(1); }

TestLog::TestLog() {
  static int counter = 0;
  InitializeKeshLogEngine();
  path_ = Scratch() / ("test-" + std::to_string(++counter) + ".log");
  LogEngine->MainLog = LogEngine->AddLogFile(path_.string());
}

TestLog::~TestLog() { LogEngine->MainLog = nullptr; }

std::string TestLog::Text() const { return test_support::ReadFile(path_); }

}  // namespace net_test
