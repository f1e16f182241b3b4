// The game script driver: the callbacks and their arguments, the failure rules, and the error
// report with its listing of script lines. Paths that end the process run as death tests; the
// parent then reads the log the child wrote, footer included.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <lua.hpp>

#include "foundation/KeshLogEngine.h"
#include "script/LuaArgs.h"
#include "script/MyLua.h"

namespace {

rtl::TStringList LinesOf(const std::vector<std::string>& lines) {
  rtl::TStringList list;
  for (const std::string& line : lines) list.Add(line);
  return list;
}

// Script lines "-- line 1" .. "-- line Count", with Replacements at their 1-based numbers.
rtl::TStringList NumberedScript(int count, const std::vector<std::pair<int, std::string>>& replacements) {
  rtl::TStringList list;
  for (int i = 1; i <= count; ++i) list.Add("-- line " + std::to_string(i));
  for (const auto& [number, text] : replacements) list[static_cast<std::size_t>(number - 1)] = text;
  return list;
}

class MyLuaTest : public testing::Test {
protected:
  void SetUp() override {
    InitializeKeshLogEngine();
    folder_ = std::filesystem::path(testing::TempDir()) / ("quorrel_script_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
  }

  // Points the main log at a fresh file of its own and gives its path.
  std::string NewLog(const std::string& name) {
    const std::string path = (folder_ / (name + ".log")).string();
    std::filesystem::remove(path);
    LogEngine->MainLog = LogEngine->AddLogFile(path);
    return path;
  }

  static std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  // The message lines of a log, without the header, the footer and each line's stamp prefix:
  // the stamp ends at the first ") ", and the error caption is kept so error lines show.
  static std::vector<std::string> Messages(const std::string& path) {
    std::vector<std::string> messages;
    for (const std::string& line : ReadLines(path)) {
      if (line.size() < 16 || line[0] != '(' || line[13] != ')') continue;
      messages.push_back(line.substr(15));
    }
    return messages;
  }

  static bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  }

  static std::string Footer(const std::string& path) {
    for (const std::string& line : ReadLines(path)) {
      if (line.rfind("[ Errors : ", 0) == 0) return line;
    }
    return "";
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::filesystem::path folder_;
};

// The calls a script received, one text per call: "name(type:value,...)".
const char* kRecorder = R"(
calls = {}
local function record(name)
  return function(...)
    local parts = {}
    for i = 1, select('#', ...) do
      local v = select(i, ...)
      parts[#parts + 1] = type(v) .. ':' .. tostring(v)
    end
    calls[#calls + 1] = name .. '(' .. table.concat(parts, ',') .. ')'
  end
end
for _, name in ipairs({'A_Init', 'A_Loading', 'A_Update', 'A_MouseMove', 'A_MouseDown', 'A_MouseUp',
                       'A_KeyDown', 'A_KeyUp', 'A_KeyPress', 'A_MouseWhell'}) do
  _G[name] = record(name)
end
)";

std::string LastCall(TMyLua& lua) {
  const int top = lua_gettop(lua.LuaState);
  lua.DoString("return calls[#calls]");
  std::string call = LuaArgText(lua.LuaState, -1);
  lua_settop(lua.LuaState, top);
  return call;
}

TEST_F(MyLuaTest, CallbacksReceiveTheirArgumentsByTheCountRules) {
  TMyLua lua(false);
  ASSERT_EQ(lua.DoString(kRecorder), 0);
  struct Case {
    std::function<void(TMyLua&)> send;
    const char* expected;
  } cases[] = {
      {[](TMyLua& l) { l.StartEngine(5, "list", "name", 4000000000u); },
       "A_Init(number:5,number:0,number:2,number:1,string:list,string:name,number:4000000000)"},
      {[](TMyLua& l) { l.Update(7, 4294967295u); }, "A_Update(number:7,number:4294967295)"},
      {[](TMyLua& l) { l.Loading(3, 50); }, "A_Loading(number:3,number:50)"},
      {[](TMyLua& l) { l.MouseMove(1, 2, 3.5, 4, 0, 0, 0, 0); },
       "A_MouseMove(number:1,number:2,number:3.5,number:4)"},
      {[](TMyLua& l) { l.MouseMove(1, 2, 3, 4, 0, 0, 0, -5); },
       "A_MouseMove(number:1,number:2,number:3,number:4,number:0,number:0,number:0,number:-5)"},
      {[](TMyLua& l) { l.SendMouseDown(1, 2, 3, 4); }, "A_MouseDown(number:1,number:2,number:3,number:4)"},
      {[](TMyLua& l) { l.SendMouseDown(1, 2, 0, 5); }, "A_MouseDown(number:1,number:2)"},
      {[](TMyLua& l) { l.SendMouseDown(1, 2, 3, 0); }, "A_MouseDown(number:1,number:2)"},
      {[](TMyLua& l) { l.SendMouseUp(1.5, 2, 0, 0); }, "A_MouseUp(number:1.5,number:2)"},
      {[](TMyLua& l) { l.SendMouseUp(1, 2, -3, 4); }, "A_MouseUp(number:1,number:2,number:-3,number:4)"},
      {[](TMyLua& l) { l.SendMouseWhell(120, -1); }, "A_MouseWhell(number:-120)"},
      {[](TMyLua& l) { l.SendMouseWhell(120, 0); }, "A_MouseWhell(number:120)"},
      {[](TMyLua& l) { l.SendMouseWhell(-120, -3); }, "A_MouseWhell(number:120)"},
      {[](TMyLua& l) { l.SendKeyDown(0xFFFF, 97); }, "A_KeyDown(number:65535,number:97)"},
      {[](TMyLua& l) { l.SendKeyUp(13); }, "A_KeyUp(number:13)"},
      {[](TMyLua& l) { l.SendKeyPress('a'); }, "A_KeyPress(string:a)"},
  };
  for (const Case& c : cases) {
    const int top = lua_gettop(lua.LuaState);
    c.send(lua);
    EXPECT_EQ(LastCall(lua), c.expected);
    EXPECT_EQ(lua_gettop(lua.LuaState), top) << c.expected;
  }
}

TEST_F(MyLuaTest, StartRunsTheLinesAsOneChunkAndKeepsThem) {
  TMyLua lua(false);
  lua.Start(LinesOf({"a = 1", "function A_Init() b = a + 1 end"}));
  lua.Start(LinesOf({"a = 10"}));
  EXPECT_EQ(lua.ScriptLines.Lines(), (std::vector<std::string>{"a = 10"}));
  EXPECT_EQ(lua_gettop(lua.LuaState), 0);
  lua.StartEngine(0, "", "", 0);
  lua.DoString("return b");
  EXPECT_EQ(LuaArgText(lua.LuaState, -1), "11");
}

TEST_F(MyLuaTest, FailureRulesThatLetTheProgramGoOn) {
  const std::string log = NewLog("go_on");
  TMyLua lua(false);
  lua.Start(LinesOf({"function A_KeyDown() error('key') end", "function G_PauseGame() error('pause') end"}));
  const int top = lua_gettop(lua.LuaState);
  for (int i = 0; i < 100; ++i) lua.SendKeyDown(65, 97);
  EXPECT_EQ(lua_gettop(lua.LuaState), top);
  EXPECT_FALSE(lua.CallScript("A_NoSuchFunction", {}, TScriptFailure::Ignore));
  EXPECT_TRUE(Messages(log).empty());

  EXPECT_FALSE(lua.CallScript("G_PauseGame", {}, TScriptFailure::ReportOnly));
  EXPECT_FALSE(lua.CallScript("G_RePause", {TScriptArg::Integer(5)}, TScriptFailure::ReportOnly));
  EXPECT_EQ(lua_gettop(lua.LuaState), top);
  const std::vector<std::string> messages = Messages(log);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_TRUE(EndsWith(messages[0], "]:2: pause"));
  EXPECT_NE(messages[0].find("ERROR"), std::string::npos);
  EXPECT_TRUE(EndsWith(messages[1], "     [1]: function A_KeyDown() error('key') end"));
  EXPECT_TRUE(EndsWith(messages[2], "     [2]: function G_PauseGame() error('pause') end"));
  EXPECT_TRUE(EndsWith(messages[3], "attempt to call a nil value"));
}

// A script operation that calls back into the script while it runs, as drawing a frame from
// inside an operation does; the callback's stack work must not disturb the operation's results.
class TNestingHost : public TPublishedObject {
public:
  TMyLua* Lua = nullptr;
  int Nest(lua_State* L) {
    const int32_t value = LuaArgInteger(L, 1);
    Lua->Loading(value, 99);
    Lua->SendKeyDown(1, 1);  // fails (no A_KeyDown), ignored
    LuaPushInteger(L, value * 2);
    return 1;
  }
  int Throws(lua_State*) { throw std::runtime_error("cannot read file"); }
  static const TPublishedTable<TNestingHost> Published;
  const TPublishedClass& PublishedClass() const override { return Published; }
};
constexpr TPublishedOperation<TNestingHost> NestingOperations[] = {
    {"Nest", &TNestingHost::Nest},
    {"Throws", &TNestingHost::Throws},
};
constinit const TPublishedTable<TNestingHost> TNestingHost::Published{"TNestingHost", NestingOperations,
                                                            &TPublishedObject::Published};

TEST_F(MyLuaTest, CallsNestOnTheOneState) {
  TMyLua lua(false);
  TNestingHost host;
  host.Lua = &lua;
  lua.RegisterFunctions(&host);
  lua.Start(LinesOf({"function A_Loading(t, p) seen = t + p end",
                     "function A_Update() result = Nest(21) end"}));
  lua.Update(0, 0);
  lua.DoString("return result .. ' ' .. seen");
  EXPECT_EQ(LuaArgText(lua.LuaState, -1), "42 120");
}

TEST_F(MyLuaTest, TheHostsOwnOperationsAreGlobalsOnlyWithAutoRegister) {
  TMyLua automatic(true);
  ASSERT_EQ(automatic.Callbacks.size(), 13u);
  EXPECT_EQ(automatic.Callbacks.front()->FuncName, "Start");
  EXPECT_EQ(automatic.Callbacks.back()->FuncName, "Loading");
  automatic.DoString("return select('#', Test('x')) + select('#', Start('y'))");
  EXPECT_EQ(LuaArgText(automatic.LuaState, -1), "0");

  TMyLua manual(false);
  EXPECT_TRUE(manual.Callbacks.empty());
}

TEST_F(MyLuaTest, WriteErrorLinesListsTheLinesAroundTheFailingOne) {
  struct Case {
    const char* name;
    int scriptLines;
    std::string msg;
    std::vector<std::string> listing;  // the plain lines after the error line
  } cases[] = {
      {"no_marker", 20, "attempt to call a nil value", {}},
      {"line_1", 20, "[string \"x\"]:1: oops", {"     [1]: -- line 1", "     [2]: -- line 2", "     [3]: -- line 3", "     [4]: -- line 4"}},
      {"last_line", 5, "[string \"x\"]:5: oops", {"     [3]: -- line 3", "     [4]: -- line 4", "     [5]: -- line 5"}},
      {"beyond", 5, "[string \"x\"]:9: oops", {}},
      {"no_number", 20, "[string \"x\"]:abc: oops", {}},
      {"empty", 20, "", {}},
      {"six_digits", 100001, "[string \"x\"]:100000: oops",
       {" [99998]: -- line 99998", " [99999]: -- line 99999", "[100000]: -- line 100000", "[100001]: -- line 100001"}},
  };
  for (const Case& c : cases) {
    const std::string log = NewLog(std::string("report_") + c.name);
    TMyLua lua(false);
    lua.ScriptLines = NumberedScript(c.scriptLines, {});
    lua.WriteErrorLines(c.msg);
    const std::vector<std::string> messages = Messages(log);
    ASSERT_EQ(messages.size(), c.listing.size() + 1) << c.name;
    EXPECT_TRUE(EndsWith(messages[0], c.msg)) << c.name;
    EXPECT_NE(messages[0].find("ERROR"), std::string::npos) << c.name;
    for (std::size_t i = 0; i < c.listing.size(); ++i) {
      // A plain message has nothing between the stamp and its text.
      EXPECT_EQ(messages[i + 1], " " + c.listing[i]) << c.name;
    }
  }
}

TEST_F(MyLuaTest, AScriptErrorAtLine12ReportsLines10To15AndEnds) {
  struct Case {
    const char* name;
    rtl::TStringList script;
    std::function<void(TMyLua&)> run;
    std::string error;  // the end of the error line
  } cases[] = {
      {"chunk", NumberedScript(16, {{12, "error('boom')"}}), [](TMyLua&) {}, "]:12: boom"},
      {"syntax", NumberedScript(16, {{12, "x = = 1"}}), [](TMyLua&) {}, "]:12: unexpected symbol near '='"},
      {"a_init", NumberedScript(16, {{11, "function A_Init()"}, {12, "  local t = nil; t.x = 1"}, {13, "end"}}),
       [](TMyLua& l) { l.StartEngine(1, "", "", 2); }, "]:12: attempt to index local 't' (a nil value)"},
      {"operation", NumberedScript(16, {{11, "function A_Update()"}, {12, "  Throws()"}, {13, "end"}}),
       [](TMyLua& l) { l.Update(1, 2); }, "]:12: Throws: cannot read file"},
  };
  for (Case& c : cases) {
    const std::string log = NewLog(std::string("line12_") + c.name);
    EXPECT_EXIT(
        {
          TMyLua lua(false);
          TNestingHost host;
          host.Lua = &lua;
          lua.RegisterFunctions(&host);
          lua.Start(c.script);
          c.run(lua);
          std::exit(3);  // not reached: the error ends the process with 0
        },
        testing::ExitedWithCode(0), "")
        << c.name;
    const std::vector<std::string> messages = Messages(log);
    ASSERT_EQ(messages.size(), 7u) << c.name;
    EXPECT_TRUE(EndsWith(messages[0], c.error)) << c.name << ": " << messages[0];
    EXPECT_EQ(messages[1], "     [10]: -- line 10") << c.name;
    EXPECT_EQ(messages[2], "     [11]: " + c.script[10]) << c.name;
    EXPECT_EQ(messages[3], "     [12]: " + c.script[11]) << c.name;
    EXPECT_EQ(messages[4], "     [13]: " + c.script[12]) << c.name;
    EXPECT_EQ(messages[5], "     [14]: -- line 14") << c.name;
    EXPECT_EQ(messages[6], "     [15]: -- line 15") << c.name;
    EXPECT_EQ(Footer(log).rfind("[ Errors : 1 ,", 0), 0u) << c.name << ": " << Footer(log);
  }
}

TEST_F(MyLuaTest, EveryReportAndEndCallbackEndsTheProcessWhenItFails) {
  struct Case {
    const char* name;
    std::function<void(TMyLua&)> run;
  } cases[] = {
      {"StartEngine", [](TMyLua& l) { l.StartEngine(0, "", "", 0); }},
      {"Update", [](TMyLua& l) { l.Update(0, 0); }},
      {"Loading", [](TMyLua& l) { l.Loading(0, 0); }},
      {"MouseMove", [](TMyLua& l) { l.MouseMove(0, 0, 0, 0, 0, 0, 0, 0); }},
      {"SendMouseDown", [](TMyLua& l) { l.SendMouseDown(0, 0, 0, 0); }},
      {"SendMouseUp", [](TMyLua& l) { l.SendMouseUp(0, 0, 0, 0); }},
      {"SendKeyUp", [](TMyLua& l) { l.SendKeyUp(0); }},
      {"SendKeyPress", [](TMyLua& l) { l.SendKeyPress('x'); }},
      {"SendMouseWhell", [](TMyLua& l) { l.SendMouseWhell(1, 1); }},
      {"ErrorTable", [](TMyLua& l) {
         l.Start(LinesOf({"function G_EndGame() error({}) end"}));
         l.CallScript("G_EndGame", {}, TScriptFailure::ReportAndEnd);
       }},
  };
  for (const Case& c : cases) {
    const std::string log = NewLog(std::string("ends_") + c.name);
    EXPECT_EXIT(
        {
          TMyLua lua(false);  // the script defines no callback: calling a nil value fails
          c.run(lua);
          std::exit(3);
        },
        testing::ExitedWithCode(0), "")
        << c.name;
    const std::vector<std::string> messages = Messages(log);
    ASSERT_EQ(messages.size(), 1u) << c.name;
    const std::string expected = c.name == std::string("ErrorTable") ? "ERROR !!! " : "attempt to call a nil value";
    EXPECT_TRUE(EndsWith(messages[0], expected)) << c.name << ": " << messages[0];
    EXPECT_EQ(Footer(log).rfind("[ Errors : 1 ,", 0), 0u) << c.name;
  }
}

TEST_F(MyLuaTest, AFailingMetamethodOfTheGlobalsMeetsTheCallersRule) {
  const std::string log = NewLog("metamethod");
  TMyLua lua(false);
  lua.Start(LinesOf({"setmetatable(_G, {__index = function(t, k) error('no ' .. k) end})"}));
  const int top = lua_gettop(lua.LuaState);
  lua.SendKeyDown(1, 1);
  EXPECT_FALSE(lua.CallScript("G_PauseGame", {}, TScriptFailure::ReportOnly));
  EXPECT_EQ(lua_gettop(lua.LuaState), top);
  const std::vector<std::string> messages = Messages(log);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_TRUE(EndsWith(messages[0], "]:1: no G_PauseGame"));
}

TEST_F(MyLuaTest, AnUnprotectedLuaErrorIsLoggedAndEndsInOrder) {
  const std::string log = NewLog("panic");
  EXPECT_EXIT(
      {
        TMyLua lua(false);
        TNestingHost host;
        lua.Start(LinesOf({"setmetatable(_G, {__newindex = function() error('locked') end})"}));
        lua.RegisterFunction("Late", "Nest", &host);
        std::exit(3);
      },
      testing::ExitedWithCode(0), "");
  const std::vector<std::string> messages = Messages(log);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("Lua: unprotected error: [string"), std::string::npos) << messages[0];
  EXPECT_TRUE(EndsWith(messages[0], "]:1: locked"));
  EXPECT_EQ(Footer(log).rfind("[ Errors : 1 ,", 0), 0u);
}

// Lua 5.1 runs precompiled chunks without verifying them, and crafted bytecode can corrupt
// memory; game scripts are text, so a chunk that starts like bytecode is refused unrun.
std::string PrecompiledChunk(const char* source) {
  lua_State* L = luaL_newstate();
  EXPECT_EQ(luaL_loadstring(L, source), 0);
  std::string bytes;
  lua_dump(
      L,
      [](lua_State*, const void* p, size_t n, void* out) {
        static_cast<std::string*>(out)->append(static_cast<const char*>(p), n);
        return 0;
      },
      &bytes);
  lua_close(L);
  return bytes;
}

constexpr const char* kRefusal = "TLua.LoadText: a precompiled chunk is refused; scripts are loaded as text only";

TEST_F(MyLuaTest, APrecompiledChunkIsRefusedUnrun) {
  const std::string chunk = PrecompiledChunk("ran = true");
  ASSERT_EQ(chunk.rfind("\x1bLua", 0), 0u);
  // Without its NUL bytes too: the refusal must not hang on where a C string happens to stop.
  std::string noNul = chunk;
  for (char& c : noNul) c = c == '\0' ? '\x01' : c;
  for (const std::string& text : {chunk, noNul}) {
    TMyLua lua(false);
    EXPECT_EQ(lua.LoadText(text), LUA_ERRSYNTAX);
    EXPECT_EQ(LuaArgText(lua.LuaState, -1), kRefusal);
    lua_settop(lua.LuaState, 0);
    EXPECT_NE(lua.DoString(text.c_str()), 0);
    EXPECT_EQ(LuaArgText(lua.LuaState, -1), kRefusal);
    lua_getglobal(lua.LuaState, "ran");
    EXPECT_TRUE(lua_isnil(lua.LuaState, -1));
  }

  // As the script bundle arrives: the unscrambled bytes read as lines and started.
  rtl::TStringList lines;
  lines.SetText(chunk);
  const std::string log = NewLog("precompiled");
  EXPECT_EXIT(
      {
        TMyLua lua(false);
        lua.Start(lines);
        std::exit(3);
      },
      testing::ExitedWithCode(0), "");
  const std::vector<std::string> messages = Messages(log);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(EndsWith(messages[0], kRefusal)) << messages[0];
}

}  // namespace
