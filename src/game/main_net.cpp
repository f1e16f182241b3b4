// HTTP requests of the game object: PostUrl hands a script's text, scrambled, to a request
// worker (or posts it at once) and the answer comes back as a call of a script function named by
// the script. The exchange itself is net/KeshUrlConnect.h.
//
// Answers are always delivered on the script host's own state: the state that called PostUrl may
// be a coroutine that is suspended or collected by the time a worker's answer arrives. A script
// error in the answer function, or a name that names no function, is reported in the log and
// ends the program, as for every other callback.
#include <string>

#include "foundation/KeshLogEngine.h"
#include "game/main.h"
#include "net/KeshUrlConnect.h"
#include "script/LuaAlloc.h"
#include "script/LuaArgs.h"

int TMainForm::PostUrl(lua_State* L) {
  const std::string okFunc = LuaArgText(L, 1);
  const std::string errFunc = LuaArgText(L, 2);
  const std::string host = LuaArgText(L, 3);
  const std::string path = LuaArgText(L, 4);
  std::string text = LuaArgText(L, 5);
  const int count = LuaArgCount(L);
  const bool useGet = count > 5 && LuaArgBoolean(L, 6);
  const bool async = count > 6 ? LuaArgBoolean(L, 7) : true;
  lua_settop(L, 0);

  ScramblePostText(text);
  rtl::TStringList lines;
  lines.Add(std::move(text));
  if (async) {
    // The answer is made into the script's text on the worker, and so is the block Lua will
    // keep it in, its fresh pages zeroed there: the main thread only copies it into Lua.
    TKeshConnect::Create(
        [this](const std::string& funcName, std::string text) { PostUrlAnswer(funcName, std::move(text)); },
        okFunc, errFunc, host, path, lines, useGet, [](std::string answer) {
          std::string text = PostAnswerText(std::move(answer));
          ReadyLuaString(text.size());
          return text;
        });
    return 0;
  }
  // The frames stop while this waits: the synchronous mode blocks the main thread.
  std::string answer;
  HttpPostText(host, path, lines, answer);
  const std::string reply = PostAnswerText(std::move(answer));
  if (LuaHost) LuaHost->CallScript(okFunc, {TScriptArg::Text(reply)}, TScriptFailure::ReportAndEnd);
  return 0;
}

void TMainForm::PostUrlAnswer(const std::string& funcName, std::string text) {
  // A text may be 64 MiB: it is moved along, never copied, until the script's own copy. (The log
  // keeps only its start.)
  if (LogEngine) LogEngine->AddError(text);
  const std::size_t length = text.size();
  if (LuaHost) LuaHost->CallScript(funcName, {TScriptArg::Text(std::move(text))}, TScriptFailure::ReportAndEnd);
  ReleaseReadyLuaString(length);  // when Lua did not take it
}
