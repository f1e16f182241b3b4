// Dates, text tables, digests and device identity of the game object: the scripts' adaptors over
// DateNumber, CodeUnitText, md5 and DeviceIdentity. A text argument is the script's whole
// string, its length taken from the script (a NUL inside is one more byte); results cross as
// zero-terminated texts. Each operation drops its arguments and returns one value. A date that
// cannot be converted is a script error naming the operation (the exception reaches the script
// host's guarded border, which raises it once the C++ objects of the call are gone); the other
// operations have no failures.
#include "game/main.h"

#include <algorithm>
#include <string>

#include "foundation/md5.h"
#include "game/CodeUnitText.h"
#include "game/DateNumber.h"
#include "game/DeviceIdentity.h"
#include "runtime/Rounding.h"
#include "script/LuaArgs.h"

namespace {

int ReturnText(lua_State* L, const std::string& result) {
  lua_settop(L, 0);
  LuaPushText(L, result);
  return 1;
}

}  // namespace

int TMainForm::GetMD5(lua_State* L) { return ReturnText(L, MD5ToHex(MD5DigestOfText(LuaArgText(L, 1)))); }

int TMainForm::GetDeviceID(lua_State* L) { return ReturnText(L, DeviceId()); }

int TMainForm::NumberToDate(lua_State* L) { return ReturnText(L, DateNumberToText(LuaArgText(L, 1))); }

int TMainForm::DateToNumber(lua_State* L) {
  const double number = DateFieldsToNumber(LuaArgInteger(L, 1), LuaArgInteger(L, 2), LuaArgInteger(L, 3),
                                           LuaArgInteger(L, 4), LuaArgInteger(L, 5), LuaArgInteger(L, 6),
                                           LuaArgInteger(L, 7));
  lua_settop(L, 0);
  LuaPushNumber(L, number);
  return 1;
}

int TMainForm::CodesToUTF8(lua_State* L) {
  // A sequence in index order up to its first hole: lua_next promises no order. Anything but a
  // table reads as an empty one.
  std::u16string units;
  if (lua_istable(L, 1)) {
    for (int i = 1;; ++i) {
      lua_rawgeti(L, 1, i);
      if (lua_isnil(L, -1)) break;
      const auto unit = static_cast<char16_t>(rtl::LowBitsOfRound<uint16_t>(lua_tonumber(L, -1)));
      lua_pop(L, 1);
      if (unit == 0) break;  // the text would end there
      units += unit;
    }
  }
  return ReturnText(L, CodeUnitsToUtf8(units));
}

int TMainForm::UTF8ToCodes(lua_State* L) {
  const std::u16string units = Utf8ToCodeUnits(LuaArgText(L, 1));
  lua_settop(L, 0);
  lua_createtable(L, static_cast<int>(std::min<std::size_t>(units.size(), INT32_MAX)), 0);
  for (std::size_t i = 0; i < units.size(); ++i) {
    lua_pushnumber(L, units[i]);
    lua_rawseti(L, -2, static_cast<int>(i + 1));
  }
  return 1;
}
