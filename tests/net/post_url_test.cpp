// PostUrl and its answer handler through a game object with a script host: the script's text
// goes out scrambled and comes back to the named function, in both modes, and an answer always
// reaches the host's own state, whatever became of the state that asked.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <memory>
#include <string>
#include <vector>

#include "game/main.h"
#include "net/KeshUrlConnect.h"
#include "net_test_support.h"

namespace {

using namespace std::chrono_literals;
using net_test::Host;
using net_test::RecordsOf;

std::string Scrambled(std::string text) {
  ScramblePostText(text);
  return text;
}

// A Lua string literal holding any bytes.
std::string Quoted(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) out += "\\" + std::to_string(c);
  return out + "\"";
}

class PostUrlTest : public ::testing::Test {
protected:
  void SetUp() override {
    form_.LuaHost = std::make_unique<TMyLua>(false);
    form_.LuaHost->RegisterFunctions(&form_);
    Run("got = {}\n"
        "function ok(text) got[#got + 1] = 'ok:' .. text end\n"
        "function err(text) got[#got + 1] = 'err:' .. text end\n"
        "host = " + Quoted(Host()) + "\n");
  }

  void TearDown() override {
    net_test::WaitForWorkers();
    form_.LuaHost.reset();
  }

  void Run(const std::string& lua) {
    lua_State* L = form_.LuaHost->LuaState;
    const int top = lua_gettop(L);
    if (form_.LuaHost->DoString(lua.c_str()) != 0) ADD_FAILURE() << lua_tostring(L, -1);
    lua_settop(L, top);
  }

  // What the script's functions received so far, each with its function's name.
  std::vector<std::string> Got() {
    lua_State* L = form_.LuaHost->LuaState;
    std::vector<std::string> got;
    lua_getglobal(L, "got");
    for (int i = 1; i <= static_cast<int>(lua_objlen(L, -1)); ++i) {
      lua_rawgeti(L, -1, i);
      std::size_t n = 0;
      const char* s = lua_tolstring(L, -1, &n);
      got.emplace_back(s, n);
      lua_pop(L, 1);
    }
    lua_pop(L, 1);
    return got;
  }

  std::vector<std::string> AwaitGot(std::size_t count) {
    EXPECT_TRUE(net_test::PumpUntil([&] { return Got().size() >= count; }, 20s));
    net_test::WaitForWorkers();
    return Got();
  }

  net_test::TestLog log_;
  TMainForm form_;
};

TEST_F(PostUrlTest, TheServerEchoingTheScrambledTextGivesTheScriptItsOwnText) {
  const std::string key = net_test::NewKey();
  const std::string text = "Hello, w\xC3\xB6rld!";
  Run("PostUrl('ok', 'err', host, 'echo?k=" + key + "', " + Quoted(text) + ")");
  EXPECT_EQ(AwaitGot(1), std::vector<std::string>{"ok:" + text});
  const auto records = RecordsOf(key);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].method, "POST");
  EXPECT_EQ(records[0].body, Scrambled(text));
  EXPECT_NE(records[0].body, text);
  EXPECT_NE(log_.Text().find("ERROR !!! " + text), std::string::npos) << log_.Text();
}

TEST_F(PostUrlTest, AnswersReachTheScriptInBothModes) {
  const std::string data = Scrambled("data");
  const struct {
    std::string items, expected;
  } cases[] = {
      {"hex=" + net_test::Hex("Error"), "ok:Error"},
      {"hex=" + net_test::Hex("\xEF\xBB\xBF" + data), "ok:data"},
      {"hex=" + net_test::Hex("\xEF" + data.substr(1, 1)), "ok:\xEF" "a"},
      {"empty", "ok:"},
  };
  for (const auto& c : cases) {
    for (const char* async : {"true", "false"}) {
      Run("got = {}; PostUrl('ok', 'err', host, 'r?k=" + net_test::NewKey() + "&" + c.items + "', 'x', false, " +
          async + ")");
      EXPECT_EQ(AwaitGot(1), std::vector<std::string>{c.expected}) << c.items << " async " << async;
    }
  }
}

TEST_F(PostUrlTest, AnEmptyTextPostsALineBreakAndASixthArgumentTrueAGet) {
  const std::string post = net_test::NewKey(), get = net_test::NewKey();
  Run("PostUrl('ok', 'err', host, 'echo?k=" + post + "', '')");
  Run("PostUrl('ok', 'err', host, 'echo?k=" + get + "', 'unsent', true)");
  AwaitGot(2);
  ASSERT_EQ(RecordsOf(post).size(), 1u);
  EXPECT_EQ(RecordsOf(post)[0].body, "\r\n");
  ASSERT_EQ(RecordsOf(get).size(), 1u);
  EXPECT_EQ(RecordsOf(get)[0].method, "GET");
  EXPECT_EQ(RecordsOf(get)[0].target, "/echo?k=" + get);
}

TEST_F(PostUrlTest, ASeventhArgumentFalsePostsAtOnceAndIgnoresTheSixth) {
  const std::string key = net_test::NewKey();
  // An asynchronous request first: its answer waits for the loop, which the blocking post holds up.
  Run("PostUrl('ok', 'err', host, 'echo?k=" + net_test::NewKey() + "', 'later')\n"
      "PostUrl('ok', 'err', host, 'echo?delay=300&k=" + key + "', 'now', true, false)");
  EXPECT_EQ(Got(), std::vector<std::string>{"ok:now"});
  const auto records = RecordsOf(key);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].method, "POST");
  EXPECT_EQ(AwaitGot(2), (std::vector<std::string>{"ok:now", "ok:later"}));
  // The synchronous answer is not logged; the asynchronous one is.
  EXPECT_EQ(log_.Text().find("ERROR !!! now"), std::string::npos);
  EXPECT_NE(log_.Text().find("ERROR !!! later"), std::string::npos);
}

TEST_F(PostUrlTest, FailuresReachTheirFunctions) {
  net_test::TimeScale scale(100);
  Run("PostUrl('ok', 'err', 'no host', 'echo', 'x')");
  EXPECT_EQ(AwaitGot(1), std::vector<std::string>{"err:Error with creating connect"});
  EXPECT_NE(log_.Text().find("ERROR !!! Error with creating connect"), std::string::npos);
  Run("got = {}; PostUrl('ok', 'err', 'no host', 'echo', 'x', false, false)");
  EXPECT_EQ(Got(), std::vector<std::string>{"ok:Error"});
  Run("got = {}; PostUrl('ok', 'err', " + Quoted(net_test::ClosedHost()) + ", 'echo', 'x', false, false)");
  EXPECT_EQ(Got(), std::vector<std::string>{"ok:"});  // nothing could be read
}

TEST_F(PostUrlTest, AnAnswerForACollectedCoroutineReachesTheHostState) {
  Run("local co = coroutine.create(function()\n"
      "  PostUrl('ok', 'err', host, 'echo?delay=100&k=" + net_test::NewKey() + "', 'from a coroutine')\n"
      "end)\n"
      "assert(coroutine.resume(co))\n"
      "co = nil\n"
      "collectgarbage('collect')");
  EXPECT_EQ(AwaitGot(1), std::vector<std::string>{"ok:from a coroutine"});
}

}  // namespace
