// TLua owns one Lua 5.1 state and makes published operations of host objects (Published.h) into
// Lua global functions of the same name. Lua 5.1 is linked directly (Debian's liblua5.1), so no
// library is bound at run time.
//
// The border between Lua and C++: Debian's Lua is built as C, so a Lua error jumps over C++
// frames without running their destructors. LuaCallback, the C function behind every registered
// global, is the one place where that border is guarded: a C++ exception thrown by an operation
// is caught there and turned into a script error of the calling script function, raised only
// after every C++ object of the call is gone. Operations themselves never raise Lua errors.
//
// Main thread only; no locks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "script/Published.h"

struct lua_State;

// One registered operation; the address of the TCallback is the one upvalue of the Lua closure.
class TCallback {
public:
  TCallback(TPublishedObject* target, TPublishedMethod method, std::string funcName)
      : Target(target), Method(method), FuncName(std::move(funcName)) {}

  TPublishedObject* Target;  // not owned
  TPublishedMethod Method;   // empty when no operation of the requested name exists
  std::string FuncName;      // the Lua global; names the operation in error messages
};

class TLua : public TPublishedObject {
public:
  // Makes the state with every standard library open; with AutoRegister, registers the object's
  // own published operations. Throws std::runtime_error when Lua cannot make a state.
  explicit TLua(bool autoRegister);
  virtual ~TLua();

  TLua(const TLua&) = delete;
  TLua& operator=(const TLua&) = delete;

  bool AutoRegister;
  std::vector<std::unique_ptr<TCallback>> Callbacks;  // in registration order
  lua_State* LuaState;

  // Load and run a chunk (0 arguments, all results kept on the stack, no message handler).
  // Return 0, or the Lua status with the error value on top of the stack; nothing is logged.
  virtual int DoFile(const std::string& fileName);
  // The chunk name is the text itself, so error messages about the chunk carry the position
  // prefix `[string "..."]:<line>:`.
  virtual int DoString(const char* text);
  // Compiles the whole of Text as one chunk of script text and leaves its function on the
  // stack, as DoString does before it runs it. Returns 0, or the Lua status with the error value
  // on top. A precompiled chunk is refused (LUA_ERRSYNTAX): Lua 5.1 runs bytecode unverified,
  // and game scripts are text.
  int LoadText(const std::string& text);

  // Makes the global FuncName call the published operation MethodName of Obj (looked up along
  // Obj's ancestry, letter case ignored). An empty MethodName means FuncName, a nil Obj the TLua
  // itself. The global is set even when no operation is found; it then returns no values.
  // Re-registering a name replaces the global and keeps the older TCallback.
  virtual void RegisterFunction(const std::string& funcName, const std::string& methodName = "",
                                TPublishedObject* obj = nullptr);
  // Every entry of the table of Obj's own class, in table order; ancestors are not walked.
  void RegisterFunctions(TPublishedObject* obj);
  // Frees every TCallback whose Target is Obj, last to first. The globals that lead to them are
  // not cleared, so this may run only when the state is about to be closed.
  void UnregisterFunctions(TPublishedObject* obj);

  // The C function behind every registered global.
  static int LuaCallback(lua_State* L);

  static const TPublishedTable<TLua> Published;
  const TPublishedClass& PublishedClass() const override { return Published; }

protected:
  struct TDeferRegistration {};
  // For derived classes with a table of their own: registration must see the derived class, so
  // the derived constructor calls RegisterFunctions(this) itself when AutoRegister is true.
  TLua(bool autoRegister, TDeferRegistration);
};
