// Requests through the proxy of the environment: the request line a forward proxy needs (the
// absolute form), checked first against the recording server standing in as the proxy, then
// through Debian's tinyproxy, started here on a loopback port with a configuration and a log of
// its own; and no_proxy sending a request past the proxy.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "net/KeshUrlConnect.h"
#include "net_test_support.h"
#include "platform/wininet/wininet.h"
#include "support/scratch.h"

namespace {

using namespace std::chrono_literals;
using net_test::Host;
using net_test::RecordsOf;
namespace fs = std::filesystem;

// Sets the proxy variables for the life of the object.
class ProxyEnvironment {
public:
  ProxyEnvironment(const std::string& proxy, const std::string& noProxy = "") {
    setenv("http_proxy", proxy.c_str(), 1);
    if (!noProxy.empty()) setenv("no_proxy", noProxy.c_str(), 1);
  }
  ~ProxyEnvironment() {
    unsetenv("http_proxy");
    unsetenv("no_proxy");
  }
  ProxyEnvironment(const ProxyEnvironment&) = delete;
  ProxyEnvironment& operator=(const ProxyEnvironment&) = delete;
};

// tinyproxy on a loopback port of its own, in the foreground, logging every request line.
class TinyProxy {
public:
  TinyProxy() {
    const fs::path program = Program();
    if (program.empty()) return;
    folder_ = test_support::MakeScratchRoot("net-proxy");
    port_ = std::stoi(net_test::ClosedHost().substr(std::string("127.0.0.1:").size()));
    test_support::WriteFile(folder_ / "tinyproxy.conf",
                            "Port " + std::to_string(port_) + "\nListen 127.0.0.1\nTimeout 60\nMaxClients 64\n"
                            "Allow 127.0.0.1\nLogLevel Connect\nLogFile \"" + (folder_ / "tinyproxy.log").string() +
                                "\"\n");
    pid_ = fork();
    if (pid_ == 0) {
      const std::string conf = (folder_ / "tinyproxy.conf").string();
      const std::string out = (folder_ / "tinyproxy.out").string();
      freopen(out.c_str(), "w", stdout);
      freopen(out.c_str(), "w", stderr);
      execl(program.c_str(), program.c_str(), "-d", "-c", conf.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    // Ready once it takes connections.
    for (int i = 0; i < 500 && !ready_; ++i) {
      const int s = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(port_));
      ready_ = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      close(s);
      if (!ready_) std::this_thread::sleep_for(10ms);
    }
  }

  ~TinyProxy() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  TinyProxy(const TinyProxy&) = delete;
  TinyProxy& operator=(const TinyProxy&) = delete;

  // The set-up script installs it: a machine without it fails the test instead of skipping it.
  static fs::path Program() {
    for (const char* p : {"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"}) {
      if (fs::exists(p)) return p;
    }
    return {};
  }

  bool Ready() const { return ready_; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string Log() const { return test_support::ReadFile(folder_ / "tinyproxy.log"); }

private:
  fs::path folder_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool ready_ = false;
};

rtl::TStringList Lines(const std::string& line) {
  rtl::TStringList list;
  list.Add(line);
  return list;
}

class ProxyTest : public ::testing::Test {
protected:
  void TearDown() override {
    net_test::WaitForWorkers();
    EXPECT_EQ(platform::wininet::testing::OpenHandles(), 0u);
  }

  // Sends one request from a worker and waits for its delivery: "ok:" or "err:" and the answer.
  std::string Exchange(const std::string& host, const std::string& path, bool useGet, const std::string& line = "abc") {
    std::vector<std::string> got;
    TKeshConnect::Create([&](const std::string& func, const std::string& answer) { got.push_back(func + ":" + answer); },
                         "ok", "err", host, path, Lines(line), useGet);
    EXPECT_TRUE(net_test::PumpUntil([&] { return !got.empty(); }, 30s)) << "no delivery";
    net_test::WaitForWorkers();
    EXPECT_EQ(got.size(), 1u);
    return got.empty() ? "" : got[0];
  }

  net_test::TestLog log_;
};

TEST_F(ProxyTest, ThroughAProxyTheTargetIsTheAbsoluteFormOfTheSameHostAndPath) {
  ProxyEnvironment proxy("http://" + Host());
  const struct {
    std::string host, path;
    bool useGet;
    std::string target;
  } cases[] = {
      {"example.test", "/p1", false, "http://example.test/p1"},
      {"example.test", "p1", false, "http://example.test/p1"},
      {"example.test:8080", "/a b\x80", false, "http://example.test:8080/a%20b%80"},
      {"example.test", "p1", true, "http://example.test/p1"},
      {"example.test", "/p1", true, "http://example.test//p1"},
  };
  for (const auto& c : cases) {
    const std::string key = net_test::NewKey();
    const std::string query = "?k=" + key;
    EXPECT_EQ(Exchange(c.host, c.path + query, c.useGet), std::string("ok:") + (c.useGet ? "" : std::string("abc", 4)))
        << c.target;
    const auto records = RecordsOf(key);
    ASSERT_EQ(records.size(), 1u) << c.target;
    EXPECT_EQ(records[0].method, c.useGet ? "GET" : "POST");
    EXPECT_EQ(records[0].target, c.target + query);
    EXPECT_EQ(records[0].Header("Host"), std::vector<std::string>{c.host});
  }
}

TEST_F(ProxyTest, ARealForwardProxyCarriesThePostAndTheGetAndTheirAnswers) {
  ASSERT_FALSE(TinyProxy::Program().empty()) << "tinyproxy is missing: scripts/setup.sh installs it";
  TinyProxy tinyproxy;
  ASSERT_TRUE(tinyproxy.Ready()) << "tinyproxy did not start";
  ProxyEnvironment proxy(tinyproxy.Url());
  for (bool useGet : {false, true}) {
    const std::string key = net_test::NewKey();
    const std::string path = "p1?k=" + key + "&hex=" + net_test::Hex("pong");
    EXPECT_EQ(Exchange(Host(), path, useGet), std::string("ok:pong", 7) + '\0');
    const auto records = RecordsOf(key);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].method, useGet ? "GET" : "POST");
    EXPECT_EQ(records[0].target, "/" + path);
    EXPECT_FALSE(records[0].Header("Via").empty()) << "the request did not pass the proxy";
    if (!useGet) {
      EXPECT_EQ(records[0].body, "abc");
    }
    EXPECT_NE(tinyproxy.Log().find(std::string(useGet ? "GET" : "POST") + " http://" + Host() + "/" + path + " HTTP/1.1"),
              std::string::npos)
        << tinyproxy.Log();
  }
  // The blocking poster goes the same way.
  const std::string key = net_test::NewKey();
  std::string answer;
  HttpPostText(Host(), "/sync?k=" + key, Lines("sync"), answer);
  EXPECT_EQ(answer, std::string("sync", 5));
  ASSERT_EQ(RecordsOf(key).size(), 1u);
  EXPECT_FALSE(RecordsOf(key)[0].Header("Via").empty());
}

TEST_F(ProxyTest, AHostThatNoProxyNamesIsReachedDirectlyInOriginForm) {
  // The proxy named here takes no connections: only a request that goes past it can succeed.
  for (const std::string noProxy : {"127.0.0.1", "localhost,127.0.0.0/8", "*"}) {
    ProxyEnvironment proxy("http://" + net_test::ClosedHost(), noProxy);
    const std::string key = net_test::NewKey();
    EXPECT_EQ(Exchange(Host(), "/direct?k=" + key, false), std::string("ok:abc", 7)) << noProxy;
    const auto records = RecordsOf(key);
    ASSERT_EQ(records.size(), 1u) << noProxy;
    EXPECT_EQ(records[0].target, "/direct?k=" + key);
  }
}

}  // namespace
