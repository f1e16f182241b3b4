// Payload codec of the game object: the scripts' adaptors over PayloadCodec and the text codec.
// Script texts cross as zero-terminated texts, so each argument counts up to its first NUL and
// a result that holds one is cut there. Each operation drops its arguments and returns one text;
// a failure is an empty text, never a script error.
#include "game/main.h"

#include <algorithm>
#include <string>
#include <utility>

#include "foundation/CUnit.h"
#include "game/PayloadCodec.h"
#include "script/LuaArgs.h"

namespace {

std::string UpToNul(std::string text) {
  text.resize(std::min(text.find('\0'), text.size()));
  return text;
}

std::string ArgUpToNul(lua_State* L, int index) { return UpToNul(LuaArgText(L, index)); }

int ReturnText(lua_State* L, std::string result) {
  lua_settop(L, 0);
  LuaPushText(L, UpToNul(std::move(result)));
  return 1;
}

}  // namespace

int TMainForm::CryptStr(lua_State* L) {
  return ReturnText(L, CryptPayload(ArgUpToNul(L, 1), ArgUpToNul(L, 2), ArgUpToNul(L, 3)));
}

int TMainForm::DecryptStr(lua_State* L) {
  return ReturnText(L, DecryptPayload(ArgUpToNul(L, 1), ArgUpToNul(L, 2), ArgUpToNul(L, 3)));
}

int TMainForm::CryptPOST(lua_State* L) {
  std::string text = ArgUpToNul(L, 1);
  EncodeText64(text);
  return ReturnText(L, text);
}

int TMainForm::DecryptPOST(lua_State* L) {
  std::string text = ArgUpToNul(L, 1);
  DecodeText64(text);
  return ReturnText(L, text);
}

int TMainForm::DepostNZip(lua_State* L) { return ReturnText(L, DepostPayload(ArgUpToNul(L, 1))); }
