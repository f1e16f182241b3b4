// TMyLua is the game's script host: it runs the game's script text once, calls the script's
// callbacks (A_Init, A_Loading, A_Update, the input callbacks) and turns a script error into an
// error report in the main log (the error line, then the script lines around the failing line),
// usually followed by the end of the process with exit code 0 through rtl::Halt, so the log
// footers are still written.
//
// Every call into a script function goes through CallScript, which also serves the game's other
// callbacks (pause, resolution change, end of game, HTTP answers, error dialog). After each call
// the Lua stack is back where it was, whatever the outcome. Calls may nest on the one state.
//
// Main thread only. Depends on the main log (foundation/KeshLogEngine.h).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "runtime/StringList.h"
#include "script/LuaBinding.h"

// One value handed to a script function, with the Lua type it arrives as.
struct TScriptArg {
  enum class TKind { Integer, Number, Boolean, Text };
  TKind Kind;
  int64_t IntegerValue = 0;
  double NumberValue = 0;
  bool BooleanValue = false;
  std::string TextValue;

  static TScriptArg Integer(int64_t value) { return {TKind::Integer, value, 0, false, {}}; }
  static TScriptArg Number(double value) { return {TKind::Number, 0, value, false, {}}; }
  static TScriptArg Boolean(bool value) { return {TKind::Boolean, 0, 0, value, {}}; }
  static TScriptArg Text(std::string value) { return {TKind::Text, 0, 0, false, std::move(value)}; }
};

// What a failing script call leads to.
enum class TScriptFailure {
  ReportAndEnd,   // WriteErrorLines with the error text, then the process ends with exit code 0
  ReportOnly,     // WriteErrorLines with the error text; the program goes on
  Ignore,         // nothing is logged; the program goes on
};

class TMyLua : public TLua {
public:
  explicit TMyLua(bool autoRegister);
  ~TMyLua() override;

  rtl::TStringList ScriptLines;  // the lines given to Start; the error report lists from them

  // Calls the global function Name with Args, 0 results, no message handler, and applies
  // OnFailure when the call fails (also when Name is no function). True when the call succeeded.
  bool CallScript(const std::string& name, std::initializer_list<TScriptArg> args, TScriptFailure onFailure);
  // The error value on top of the stack as text: a string or a number, else "".
  std::string ErrorText();
  // WriteErrorLines with the error value on top of the stack, then the end of the process.
  [[noreturn]] void ReportAndEnd();

  // ScriptLines := Lines; the text of Lines (every line followed by CR LF) runs as one chunk.
  void Start(const rtl::TStringList& lines);
  // A_Init(GameTime, 0, 2, 1, LaunchList, LaunchName, WallClock).
  void StartEngine(int32_t gameTime, const std::string& launchList, const std::string& launchName,
                   uint32_t wallClock);
  void Update(int32_t gameTime, uint32_t wallClock);        // A_Update
  void Loading(int32_t gameTime, int32_t loadingPercent);   // A_Loading
  // A_MouseMove with V1..V4, and V5..V8 too when any of them is non-zero.
  void MouseMove(double v1, double v2, double v3, double v4, double v5, double v6, double v7, double v8);
  // A_MouseDown / A_MouseUp with X, Y, and X2, Y2 too when both are non-zero.
  void SendMouseDown(double x, double y, double x2, double y2);
  void SendMouseUp(double x, double y, double x2, double y2);
  void SendKeyDown(uint16_t key, uint16_t ch);  // A_KeyDown; a failure is ignored
  void SendKeyUp(uint16_t key);                 // A_KeyUp
  void SendKeyPress(char ch);                   // A_KeyPress with a one-character string
  void SendMouseWhell(int32_t delta, int32_t direction);  // A_MouseWhell(Delta, negated when Direction < 0)
  // The error report: Msg as an error line, then, when Msg carries a position `]:<line>:`, the
  // script lines line-2 .. line+3 (1-based) that exist, as plain messages "    [10]: text".
  void WriteErrorLines(const std::string& msg);
  // Reads argument 1 as text; no effect.
  int Test(lua_State* L);

  static const TPublishedTable<TMyLua> Published;
  const TPublishedClass& PublishedClass() const override { return Published; }
};
