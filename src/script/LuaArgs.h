// Argument readers and result pushers of the script-operation convention. A script operation reads
// its arguments by position (1 is the first) without testing their types and without raising a
// Lua error: a missing or unconvertible argument reads as 0, empty text or false. Optional
// trailing arguments are detected with LuaHasArg. Results are pushed in order and the operation
// returns their number.
//
// Only script/ and the game object's operation files include this header (Lua stays at the edge).
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include <lua.hpp>

// The integer a script number stands for: rounded to the nearest integer with halves to even,
// saturated to the 32-bit range; NaN gives 0. Scripts were written against the 32-bit build of
// Lua 5.1, whose number-to-integer conversion rounds this way; a 64-bit build truncates instead.
inline int32_t LuaNumberToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  // The default floating-point environment rounds to nearest, halves to even.
  return static_cast<int32_t>(std::nearbyint(value));
}

inline int LuaArgCount(lua_State* L) { return lua_gettop(L); }
// True when the script passed at least Index arguments (an optional argument is present).
inline bool LuaHasArg(lua_State* L, int index) { return lua_gettop(L) >= index; }

inline int32_t LuaArgInteger(lua_State* L, int index) { return LuaNumberToInt32(lua_tonumber(L, index)); }
inline double LuaArgNumber(lua_State* L, int index) { return lua_tonumber(L, index); }
inline bool LuaArgBoolean(lua_State* L, int index) { return lua_toboolean(L, index) != 0; }
// Every byte of the string, zeros included; nil, a table or a missing argument give "". A number
// argument is converted to its text, as lua_tolstring does.
inline std::string LuaArgText(lua_State* L, int index) {
  std::size_t length = 0;
  const char* text = lua_tolstring(L, index, &length);
  return text != nullptr ? std::string(text, length) : std::string();
}

inline void LuaPushText(lua_State* L, const std::string& text) { lua_pushlstring(L, text.data(), text.size()); }
inline void LuaPushInteger(lua_State* L, int64_t value) { lua_pushinteger(L, static_cast<lua_Integer>(value)); }
inline void LuaPushNumber(lua_State* L, double value) { lua_pushnumber(L, value); }
inline void LuaPushBoolean(lua_State* L, bool value) { lua_pushboolean(L, value ? 1 : 0); }
