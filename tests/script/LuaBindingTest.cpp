// Registration of published operations as Lua globals, the argument convention and the border
// between C++ exceptions and Lua errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include <lua.hpp>

#include "script/LuaArgs.h"
#include "script/LuaBinding.h"

using namespace std::string_literals;

namespace {

int GuardsDestroyed = 0;
struct TGuard {
  ~TGuard() { ++GuardsDestroyed; }
};

class THost : public TPublishedObject {
public:
  int Add(lua_State* L) {
    LuaPushInteger(L, LuaArgInteger(L, 1) + LuaArgInteger(L, 2));
    return 1;
  }
  // The neutral values of missing arguments, and the optional argument 4 defaulting to 7.
  int Echo(lua_State* L) {
    const std::string text = LuaArgText(L, 1);
    const bool flag = LuaArgBoolean(L, 2);
    const double number = LuaArgNumber(L, 3);
    const int32_t optional = LuaHasArg(L, 4) ? LuaArgInteger(L, 4) : 7;
    LuaPushText(L, text);
    LuaPushBoolean(L, flag);
    LuaPushNumber(L, number);
    LuaPushInteger(L, optional);
    return 4;
  }
  int Throws(lua_State*) {
    TGuard guard;
    throw std::runtime_error("disk full");
  }
  static const TPublishedTable<THost> Published;
  const TPublishedClass& PublishedClass() const override { return Published; }
};
constexpr TPublishedOperation<THost> HostOperations[] = {
    {"Add", &THost::Add},
    {"Echo", &THost::Echo},
    {"Throws", &THost::Throws},
    {"Ghost", nullptr},
};
constinit const TPublishedTable<THost> THost::Published{"THost", HostOperations, &TPublishedObject::Published};

// Its own "ECHO" hides the ancestor's "Echo" in lookups.
class TChild : public THost {
public:
  int Shout(lua_State* L) {
    LuaPushText(L, "child");
    return 1;
  }
  static const TPublishedTable<TChild> Published;
  const TPublishedClass& PublishedClass() const override { return Published; }
};
constexpr TPublishedOperation<TChild> ChildOperations[] = {{"ECHO", &TChild::Shout}};
constinit const TPublishedTable<TChild> TChild::Published{"TChild", ChildOperations, &THost::Published};

class TQuiet : public THost {
public:
  static const TPublishedTable<TQuiet> Published;
  const TPublishedClass& PublishedClass() const override { return Published; }
};
constinit const TPublishedTable<TQuiet> TQuiet::Published{"TQuiet", {}, &THost::Published};

class TTestLua : public TLua {
public:
  explicit TTestLua(bool autoRegister) : TLua(autoRegister, TDeferRegistration{}) {
    if (AutoRegister) RegisterFunctions(this);
  }
  int Hello(lua_State* L) {
    LuaPushText(L, "hello");
    return 1;
  }
  static const TPublishedTable<TTestLua> Published;
  const TPublishedClass& PublishedClass() const override { return Published; }
};
constexpr TPublishedOperation<TTestLua> TestLuaOperations[] = {{"Hello", &TTestLua::Hello}};
constinit const TPublishedTable<TTestLua> TTestLua::Published{"TTestLua", TestLuaOperations, &TLua::Published};

// Runs Code, which must succeed, and gives its one result as text; the stack is left as it was.
std::string Eval(TLua& lua, const std::string& code) {
  const int top = lua_gettop(lua.LuaState);
  EXPECT_EQ(lua.DoString(code.c_str()), 0) << code << ": " << LuaArgText(lua.LuaState, -1);
  std::string result = LuaArgText(lua.LuaState, -1);
  lua_settop(lua.LuaState, top);
  return result;
}

std::vector<std::string> CallbackNames(const TLua& lua) {
  std::vector<std::string> names;
  for (const auto& callback : lua.Callbacks) names.push_back(callback->FuncName);
  return names;
}

TEST(LuaBinding, RegisterFunctionsMakesAGlobalOfEveryOwnEntryInTableOrder) {
  TLua lua(false);
  THost host;
  lua.RegisterFunctions(&host);
  EXPECT_EQ(CallbackNames(lua), (std::vector<std::string>{"Add", "Echo", "Throws", "Ghost"}));
  EXPECT_EQ(Eval(lua, "return Add(2, 3)"), "5");
  // A published entry without a script operation is a global that returns nothing.
  EXPECT_EQ(Eval(lua, "return type(Ghost)"), "function");
  EXPECT_EQ(Eval(lua, "return select('#', Ghost(1, 2))"), "0");
}

TEST(LuaBinding, LookupSearchesOwnTableThenAncestorsIgnoringCase) {
  TLua lua(false);
  TChild child;
  lua.RegisterFunctions(&child);  // own table only
  EXPECT_EQ(CallbackNames(lua), (std::vector<std::string>{"ECHO"}));
  EXPECT_EQ(Eval(lua, "return type(Add)"), "nil");
  EXPECT_EQ(Eval(lua, "return ECHO()"), "child");

  lua.RegisterFunction("plus", "aDD", &child);
  EXPECT_EQ(Eval(lua, "return plus(1, 2)"), "3");
  lua.RegisterFunction("echo", "", &child);  // the child's own ECHO comes first
  EXPECT_EQ(Eval(lua, "return echo('x')"), "child");
  lua.RegisterFunction("missing", "NoSuchOperation", &child);
  EXPECT_FALSE(lua.Callbacks.back()->Method);
  EXPECT_EQ(Eval(lua, "return select('#', missing())"), "0");

  TQuiet quiet;
  lua.RegisterFunctions(&quiet);
  EXPECT_EQ(lua.Callbacks.size(), 4u);
}

TEST(LuaBinding, DefaultsBindTheTLuaItsOwnOperation) {
  TTestLua lua(false);
  EXPECT_TRUE(lua.Callbacks.empty());
  lua.RegisterFunction("Hello");
  EXPECT_EQ(Eval(lua, "return Hello()"), "hello");

  TTestLua automatic(true);
  EXPECT_EQ(CallbackNames(automatic), (std::vector<std::string>{"Hello"}));
  EXPECT_EQ(Eval(automatic, "return Hello()"), "hello");
}

TEST(LuaBinding, ReRegisteringReplacesTheGlobalAndKeepsTheOlderCallback) {
  TLua lua(false);
  THost host;
  lua.RegisterFunction("f", "Add", &host);
  lua.RegisterFunction("f", "Echo", &host);
  EXPECT_EQ(lua.Callbacks.size(), 2u);
  EXPECT_EQ(Eval(lua, "return (f('text'))"), "text");
}

TEST(LuaBinding, UnregisterFunctionsFreesOnlyTheTargetsCallbacks) {
  TLua lua(false);
  THost a, b;
  lua.RegisterFunction("a1", "Add", &a);
  lua.RegisterFunction("b1", "Add", &b);
  lua.RegisterFunction("a2", "Echo", &a);
  lua.RegisterFunction("b2", "Echo", &b);
  lua.UnregisterFunctions(&a);
  EXPECT_EQ(CallbackNames(lua), (std::vector<std::string>{"b1", "b2"}));
}

TEST(LuaBinding, MissingArgumentsReadAsNeutralValuesAndOptionalOnesTakeTheirDefault) {
  TLua lua(false);
  THost host;
  lua.RegisterFunctions(&host);
  const char* all = "local a, b, c, d = Echo(%s) return type(a)..':'..a..','..tostring(b)..','..c..','..d";
  struct Case {
    const char* args;
    std::string expected;
  } cases[] = {
      {"", "string:,false,0,7"s},
      {"nil, nil, {}", "string:,false,0,7"s},
      {"'x\\0y', 1, '2.5', 4.5", "string:x\0y,true,2.5,4"s},
      {"12, true, 'abc', nil", "string:12,true,0,0"s},
  };
  for (const Case& c : cases) {
    char code[512];
    std::snprintf(code, sizeof code, all, c.args);
    EXPECT_EQ(Eval(lua, code), c.expected) << c.args;
  }
  EXPECT_EQ(Eval(lua, "return Add(2.5, 3.5)"), "6");  // halves to even: 2 + 4
  EXPECT_EQ(Eval(lua, "return Add('12', 1)"), "13");
}

TEST(LuaArgs, NumberToInt32RoundsHalvesToEvenAndSaturates) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    int32_t expected;
  } cases[] = {
      {0.0, 0},          {0.49, 0},          {0.5, 0},           {1.5, 2},
      {2.5, 2},          {-2.5, -2},         {-3.5, -4},         {2.6, 3},
      {-0.7, -1},        {2147483646.6, INT32_MAX},              {3e9, INT32_MAX},
      {-2147483648.4, INT32_MIN},            {-3e9, INT32_MIN},  {inf, INT32_MAX},
      {-inf, INT32_MIN}, {nan, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(LuaNumberToInt32(c.value), c.expected) << c.value;
}

TEST(LuaBinding, ACppExceptionBecomesAScriptErrorAtTheCallingLine) {
  TLua lua(false);
  THost host;
  lua.RegisterFunctions(&host);
  GuardsDestroyed = 0;
  const int top = lua_gettop(lua.LuaState);

  EXPECT_EQ(Eval(lua, "local ok, e = pcall(Throws) return tostring(ok)..' '..e"), "false Throws: disk full");
  EXPECT_EQ(GuardsDestroyed, 1);

  // Uncaught, it fails the chunk with the position of the script line that made the call.
  EXPECT_NE(lua.DoString("local x = 1\nThrows()\n"), 0);
  EXPECT_EQ(LuaArgText(lua.LuaState, -1), "[string \"local x = 1...\"]:2: Throws: disk full");
  EXPECT_EQ(GuardsDestroyed, 2);
  lua_settop(lua.LuaState, top);
  EXPECT_EQ(Eval(lua, "return Add(1, 1)"), "2");  // the state goes on working
}

TEST(LuaBinding, DoStringAndDoFileReturnTheStatusWithTheErrorOnTop) {
  TLua lua(false);
  lua_State* L = lua.LuaState;
  EXPECT_EQ(lua.DoString("return 1, 'two'"), 0);
  EXPECT_EQ(lua_gettop(L), 2);  // the chunk's results stay
  lua_settop(L, 0);

  EXPECT_EQ(lua.DoString("x = = 1"), LUA_ERRSYNTAX);
  EXPECT_NE(LuaArgText(L, -1).find("]:1:"), std::string::npos);
  lua_settop(L, 0);
  EXPECT_EQ(lua.DoString("error('late')"), LUA_ERRRUN);
  EXPECT_EQ(LuaArgText(L, -1), "[string \"error('late')\"]:1: late");
  lua_settop(L, 0);

  EXPECT_EQ(lua.DoFile("no-such-file.lua"), LUA_ERRFILE);
  lua_settop(L, 0);
  const std::string path = testing::TempDir() + "script_dofile.lua";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("fromfile = 42\n", f);
  std::fclose(f);
  EXPECT_EQ(lua.DoFile(path), 0);
  EXPECT_EQ(Eval(lua, "return fromfile"), "42");
}

}  // namespace
