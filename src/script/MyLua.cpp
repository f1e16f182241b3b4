// The game's script host: the script callbacks, their failure rules and the error report.
#include "script/MyLua.h"

#include <algorithm>

#include <lua.hpp>

#include "foundation/KeshLogEngine.h"
#include "runtime/Errors.h"
#include "runtime/Strings.h"
#include "runtime/Units.h"
#include "script/LuaArgs.h"

// The host calls these directly; only Test follows the script convention, so only Test does
// anything if a script reaches it.
static constexpr TPublishedOperation<TMyLua> MyLuaOperations[] = {
    {"Start", nullptr},
    {"StartEngine", nullptr},
    {"Update", nullptr},
    {"MouseMove", nullptr},
    {"Test", &TMyLua::Test},
    {"SendMouseDown", nullptr},
    {"SendMouseUp", nullptr},
    {"SendKeyDown", nullptr},
    {"SendKeyUp", nullptr},
    {"SendKeyPress", nullptr},
    {"SendMouseWhell", nullptr},
    {"WriteErrorLines", nullptr},
    {"Loading", nullptr},
};
constinit const TPublishedTable<TMyLua> TMyLua::Published{"TMyLua", MyLuaOperations, &TLua::Published};

TMyLua::TMyLua(bool autoRegister) : TLua(autoRegister, TDeferRegistration{}) {
  if (AutoRegister) RegisterFunctions(this);
}

TMyLua::~TMyLua() = default;

namespace {

// Looks the function up and calls it inside the protected call, so that a failing metamethod of
// the globals table meets the caller's failure rule too. Stack: name, then the arguments.
int CallGlobal(lua_State* L) {
  lua_getfield(L, LUA_GLOBALSINDEX, lua_tostring(L, 1));
  lua_replace(L, 1);
  lua_call(L, lua_gettop(L) - 1, 0);
  return 0;
}

}  // namespace

bool TMyLua::CallScript(const std::string& name, std::initializer_list<TScriptArg> args,
                        TScriptFailure onFailure) {
  lua_State* L = LuaState;
  const int top = lua_gettop(L);
  lua_pushcfunction(L, CallGlobal);
  LuaPushText(L, name);
  for (const TScriptArg& arg : args) {
    switch (arg.Kind) {
      case TScriptArg::TKind::Integer: lua_pushinteger(L, static_cast<lua_Integer>(arg.IntegerValue)); break;
      case TScriptArg::TKind::Number: lua_pushnumber(L, arg.NumberValue); break;
      case TScriptArg::TKind::Boolean: lua_pushboolean(L, arg.BooleanValue ? 1 : 0); break;
      case TScriptArg::TKind::Text: LuaPushText(L, arg.TextValue); break;
    }
  }
  const bool ok = lua_pcall(L, static_cast<int>(args.size()) + 1, 0, 0) == 0;
  if (!ok) {
    switch (onFailure) {
      case TScriptFailure::ReportAndEnd: ReportAndEnd();
      case TScriptFailure::ReportOnly: WriteErrorLines(ErrorText()); break;
      case TScriptFailure::Ignore: break;
    }
  }
  lua_settop(L, top);
  return ok;
}

std::string TMyLua::ErrorText() { return LuaArgText(LuaState, -1); }

void TMyLua::ReportAndEnd() {
  WriteErrorLines(ErrorText());
  rtl::Halt(0);
}

void TMyLua::Start(const rtl::TStringList& lines) {
  ScriptLines = lines;
  const int top = lua_gettop(LuaState);
  const std::string text = ScriptLines.Text();
  if (DoString(text.c_str()) != 0) ReportAndEnd();
  lua_settop(LuaState, top);
}

void TMyLua::StartEngine(int32_t gameTime, const std::string& launchList, const std::string& launchName,
                         uint32_t wallClock) {
  CallScript("A_Init",
             {TScriptArg::Integer(gameTime), TScriptArg::Integer(0), TScriptArg::Integer(2),
              TScriptArg::Integer(1), TScriptArg::Text(launchList), TScriptArg::Text(launchName),
              TScriptArg::Number(wallClock)},
             TScriptFailure::ReportAndEnd);
}

void TMyLua::Update(int32_t gameTime, uint32_t wallClock) {
  CallScript("A_Update", {TScriptArg::Integer(gameTime), TScriptArg::Number(wallClock)},
             TScriptFailure::ReportAndEnd);
}

void TMyLua::Loading(int32_t gameTime, int32_t loadingPercent) {
  CallScript("A_Loading", {TScriptArg::Integer(gameTime), TScriptArg::Integer(loadingPercent)},
             TScriptFailure::ReportAndEnd);
}

void TMyLua::MouseMove(double v1, double v2, double v3, double v4, double v5, double v6, double v7,
                       double v8) {
  using A = TScriptArg;
  if (v5 != 0 || v6 != 0 || v7 != 0 || v8 != 0) {
    CallScript("A_MouseMove",
               {A::Number(v1), A::Number(v2), A::Number(v3), A::Number(v4), A::Number(v5),
                A::Number(v6), A::Number(v7), A::Number(v8)},
               TScriptFailure::ReportAndEnd);
  } else {
    CallScript("A_MouseMove", {A::Number(v1), A::Number(v2), A::Number(v3), A::Number(v4)},
               TScriptFailure::ReportAndEnd);
  }
}

namespace {

void SendMouseButton(TMyLua& lua, const char* name, double x, double y, double x2, double y2) {
  using A = TScriptArg;
  if (x2 != 0 && y2 != 0) {
    lua.CallScript(name, {A::Number(x), A::Number(y), A::Number(x2), A::Number(y2)}, TScriptFailure::ReportAndEnd);
  } else {
    lua.CallScript(name, {A::Number(x), A::Number(y)}, TScriptFailure::ReportAndEnd);
  }
}

}  // namespace

void TMyLua::SendMouseDown(double x, double y, double x2, double y2) {
  SendMouseButton(*this, "A_MouseDown", x, y, x2, y2);
}

void TMyLua::SendMouseUp(double x, double y, double x2, double y2) {
  SendMouseButton(*this, "A_MouseUp", x, y, x2, y2);
}

void TMyLua::SendKeyDown(uint16_t key, uint16_t ch) {
  CallScript("A_KeyDown", {TScriptArg::Integer(key), TScriptArg::Integer(ch)}, TScriptFailure::Ignore);
}

void TMyLua::SendKeyUp(uint16_t key) {
  CallScript("A_KeyUp", {TScriptArg::Integer(key)}, TScriptFailure::ReportAndEnd);
}

void TMyLua::SendKeyPress(char ch) {
  CallScript("A_KeyPress", {TScriptArg::Text(std::string(1, ch))}, TScriptFailure::ReportAndEnd);
}

void TMyLua::SendMouseWhell(int32_t delta, int32_t direction) {
  const double value = direction < 0 ? -static_cast<double>(delta) : static_cast<double>(delta);
  CallScript("A_MouseWhell", {TScriptArg::Number(value)}, TScriptFailure::ReportAndEnd);
}

void TMyLua::WriteErrorLines(const std::string& msg) {
  LogEngine->AddError(msg);

  const std::size_t marker = msg.find("]:");
  if (marker == std::string::npos) return;
  // The text between "]:" and the next ":", read without the message's last character.
  const std::size_t start = marker + 2;
  std::string number = start < msg.size() ? msg.substr(start, msg.size() - 1 - start) : std::string();
  number = number.substr(0, number.find(':'));
  int32_t line = 0;
  try {
    line = rtl::StrToInt(number);
  } catch (const rtl::EConvertError&) {
    return;  // "]:" without a line number: the error line alone
  }

  const int64_t first = std::max<int64_t>(0, static_cast<int64_t>(line) - 3);
  const int64_t last = static_cast<int64_t>(line) + 2;
  for (int64_t i = first; i <= last && i < static_cast<int64_t>(ScriptLines.Count()); ++i) {
    const std::string n = rtl::IntToStr(i + 1);
    const std::string padding(n.size() < 6 ? 6 - n.size() : 0, ' ');
    LogEngine->AddMessage(padding + "[" + n + "]: " + ScriptLines[static_cast<std::size_t>(i)]);
  }
}

int TMyLua::Test(lua_State* L) {
  (void)LuaArgText(L, 1);
  return 0;
}
