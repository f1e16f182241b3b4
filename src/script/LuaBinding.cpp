// The Lua state, registration of published operations as globals, and the guarded border
// between Lua errors and C++ exceptions.
#include "script/LuaBinding.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>

#include <lua.hpp>

#include "foundation/KeshLogEngine.h"
#include "runtime/Units.h"
#include "script/LuaAlloc.h"

// TLua publishes nothing of its own.
constinit const TPublishedTable<TLua> TLua::Published{"TLua", {}, &TPublishedObject::Published};

namespace {

// An error outside any protected call (a failing metamethod of the globals table, memory
// exhausted in the host's own API calls). Lua's default would end the process without the log
// footers; this logs the error and ends through the orderly exit instead.
int LuaPanic(lua_State* L) {
  const char* message = lua_tostring(L, -1);
  if (LogEngine != nullptr) {
    LogEngine->AddError(std::string("Lua: unprotected error: ") + (message != nullptr ? message : ""));
  }
  rtl::Halt(0);
}

lua_State* NewLuaState() {
  lua_State* L = lua_newstate(LuaAlloc, nullptr);
  if (L == nullptr) throw std::runtime_error("TLua: cannot create the Lua state");
  lua_atpanic(L, LuaPanic);
  luaL_openlibs(L);
  return L;
}

}  // namespace

TLua::TLua(bool autoRegister, TDeferRegistration)
    : AutoRegister(autoRegister), LuaState(NewLuaState()) {}

TLua::TLua(bool autoRegister) : TLua(autoRegister, TDeferRegistration{}) {
  if (AutoRegister) RegisterFunctions(this);
}

TLua::~TLua() {
  if (AutoRegister) UnregisterFunctions(this);
  Callbacks.clear();
  lua_close(LuaState);
}

int TLua::DoFile(const std::string& fileName) {
  int status = luaL_loadfile(LuaState, fileName.c_str());
  if (status != 0) return status;
  return lua_pcall(LuaState, 0, LUA_MULTRET, 0);
}

int TLua::DoString(const char* text) {
  int status = LoadText(text);
  if (status != 0) return status;
  return lua_pcall(LuaState, 0, LUA_MULTRET, 0);
}

int TLua::LoadText(const std::string& text) {
  // Lua takes any chunk whose first byte is the signature's for bytecode.
  if (!text.empty() && text[0] == LUA_SIGNATURE[0]) {
    lua_pushliteral(LuaState, "TLua.LoadText: a precompiled chunk is refused; scripts are loaded as text only");
    return LUA_ERRSYNTAX;
  }
  return luaL_loadbuffer(LuaState, text.data(), text.size(), text.c_str());
}

void TLua::RegisterFunction(const std::string& funcName, const std::string& methodName,
                            TPublishedObject* obj) {
  if (obj == nullptr) obj = this;
  const std::string& name = methodName.empty() ? funcName : methodName;
  Callbacks.push_back(std::make_unique<TCallback>(obj, FindPublishedMethod(obj->PublishedClass(), name), funcName));
  lua_pushlstring(LuaState, funcName.data(), funcName.size());
  lua_pushlightuserdata(LuaState, Callbacks.back().get());
  lua_pushcclosure(LuaState, LuaCallback, 1);
  lua_settable(LuaState, LUA_GLOBALSINDEX);
}

void TLua::RegisterFunctions(TPublishedObject* obj) {
  const TPublishedClass& cls = obj->PublishedClass();
  for (std::size_t i = 0; i < cls.Count(); ++i) {
    std::string name = cls.NameAt(i);
    RegisterFunction(name, name, obj);
  }
}

void TLua::UnregisterFunctions(TPublishedObject* obj) {
  for (std::size_t i = Callbacks.size(); i-- > 0;) {
    if (Callbacks[i]->Target == obj) Callbacks.erase(Callbacks.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

int TLua::LuaCallback(lua_State* L) {
  auto* callback = static_cast<TCallback*>(const_cast<void*>(lua_topointer(L, lua_upvalueindex(1))));
  if (callback == nullptr || !callback->Method) return 0;

  // Plain data only from here to lua_error: the Lua error below must not jump over a live
  // C++ object.
  char what[512];
  try {
    return callback->Method.Call(*callback->Target, L);
  } catch (const std::exception& e) {
    std::snprintf(what, sizeof what, "%s", e.what());
  } catch (...) {
    std::snprintf(what, sizeof what, "unknown C++ exception");
  }
  // The position prefix of the calling script line lets the error report list the lines there.
  return luaL_error(L, "%s: %s", callback->FuncName.c_str(), what);
}
