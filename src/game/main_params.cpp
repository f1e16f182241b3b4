// Parameter and profile operations of the game object: the scripts read and replace the stores
// GameParams ("GameParams.txt") and Profile ("ZazoData.cfg", "Profile.txt"). Lists cross the
// script boundary as "key=value;" items. Replacing the parameters also applies the log detail
// level, full screen, the custom cursor and the debug mode.
//
// The stores exist from CreateAppDataFolder on. Called before it, the getters answer an empty
// store and the setters skip the store and its files with a warning. A file that cannot be
// written is logged and nothing of it reaches the script.
#include <algorithm>
#include <exception>

#include "foundation/KeshLogEngine.h"
#include "foundation/SFunctions.h"
#include "frame/App.h"
#include "game/AssArray.h"
#include "game/main.h"
#include "runtime/Strings.h"
#include "script/LuaArgs.h"

namespace {

void WarnNoStore(const char* operation) {
  LogEngine->AddWarning(std::string("TMainForm.") + operation +
                        " called before CreateAppDataFolder: there is no store to change");
}

}  // namespace

std::string TMainForm::ExtractParamValue(const std::string& text, const std::string& name) {
  const std::size_t at = text.find(name);
  if (at == std::string::npos) return {};
  // Skips the name and the "=" expected after it; a list that ends there has no value.
  const std::size_t start = at + name.size() + 1;
  if (start >= text.size()) return {};
  const std::size_t end = text.find(';', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void TMainForm::SplitItems(const std::string& text, tAssArray& store) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t end = text.find(';', from);
    if (end == std::string::npos) return;  // text after the last ";" is not an item
    while (from < end && (text[from] == '\t' || text[from] == '\r' || text[from] == '\n')) ++from;
    if (from < end) store.AddLine(text.substr(from, end - from));
    from = end + 1;
  }
}

int TMainForm::GetParamsFromCode(lua_State* L) {
  const std::size_t count = GameParams ? GameParams->Pairs.size() : 0;
  // Lua 5.1 gives an operation about 8,000 stack slots. A bloated or damaged file must not keep
  // the game from the SetParamsToCode that repairs it, so the pairs beyond them are left out.
  const auto fits = [L](std::size_t pairs) { return lua_checkstack(L, static_cast<int>(2 * pairs + 1)) != 0; };
  std::size_t given = std::min<std::size_t>(count, 1u << 28);
  if (!fits(given)) {
    std::size_t low = 0, high = given;  // fits(low), and not fits(high)
    while (high - low > 1) {
      const std::size_t middle = low + (high - low) / 2;
      (fits(middle) ? low : high) = middle;
    }
    given = low;
  }
  if (given < count) {
    LogEngine->AddWarning("TMainForm.GetParamsFromCode " + AppDataFolder + "GameParams.txt holds " + std::to_string(count) +
                          " pairs, more than the script stack takes: the first " + std::to_string(given) +
                          " are given, " + std::to_string(count - given) + " pairs left out");
  }
  LuaPushInteger(L, static_cast<int64_t>(given));
  for (std::size_t i = 0; i < given; ++i) {
    LuaPushText(L, GameParams->Pairs[i].Key);
    LuaPushText(L, GameParams->Pairs[i].Value);
  }
  return static_cast<int>(2 * given + 1);
}

int TMainForm::SetParamsToCode(lua_State* L) {
  const std::string text = LuaArgText(L, 1);
  LogEngine->AddHint("TMainForm.A_SetParamsToCode " + text);
  const std::string lower = rtl::LowerCase(text);  // letters A to Z only

  if (const std::string level = ExtractParamValue(lower, "detalizationmode"); !level.empty()) {
    uint8_t mode = 0;
    if (!DecimalDetailLevel(level, mode)) {
      LogEngine->AddWarning("TMainForm.A_SetParamsToCode detalizationmode=" + level + " is not a number: not applied");
    } else if (LogEngine->MainLog) {
      LogEngine->MainLog->DetalizationMode = mode;
    }
  }
  if (const std::string full = ExtractParamValue(lower, "fullscreen"); !full.empty()) {
    FullScreenMode = full == "true" ? 1 : 0;
    if (Game) Game->m_bWindowed = FullScreenMode == 0;
  }
  if (const std::string cursor = ExtractParamValue(lower, "customcursor"); !cursor.empty()) {
    const bool custom = cursor == "true";
    LogEngine->AddHint("TMainForm.A_SetParamsToCode CustomCursor=" + BoolToText(CustomCursor));
    LogEngine->AddHint("TMainForm.A_SetParamsToCode CustomCursor_local=" + BoolToText(custom));
    CustomCursor = custom;
    LogEngine->AddHint("TMainForm.A_SetParamsToCode 3 CustomCursor=" + BoolToText(CustomCursor));
    ShowSystemCursor(!CustomCursor);
  }
  DebugMode = ExtractParamValue(lower, "debugmode") == "true";

  if (!GameParams) {
    WarnNoStore("A_SetParamsToCode");
    return 0;
  }
  GameParams->Clear();
  SplitItems(text, *GameParams);
  SaveGameParams("A_SetParamsToCode");
  return 0;
}

void TMainForm::SaveGameParams(const char* operation) {
  // A disk that cannot take the file is logged; nothing of it reaches the script or the game.
  try {
    GameParams->SaveToFile(AppDataFolder + "GameParams.txt");
  } catch (const std::exception& e) {
    LogEngine->AddError(std::string("TMainForm.") + operation + " " + e.what());
  }
}

int TMainForm::GetProfileFromCode(lua_State* L) {
  std::string text;
  if (Profile) {
    for (const tAssPair& pair : Profile->Pairs) text += pair.Key + "!" + pair.Value + "!";
  }
  LuaPushText(L, text);
  return 1;
}

int TMainForm::SetProfileToCode(lua_State* L) {
  const std::string text = LuaArgText(L, 1);
  LogEngine->AddHint("TMainForm.A_SetProfileToCode " + text);
  if (!Profile) {
    WarnNoStore("A_SetProfileToCode");
    return 0;
  }
  Profile->Clear();
  SplitItems(text, *Profile);
  SaveProfile();
  return 0;
}

int TMainForm::SetProfileParam(lua_State* L) {
  const std::string text = LuaArgText(L, 1);
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return 0;
  if (!Profile) {
    WarnNoStore("SetProfileParam");
    return 0;
  }
  const std::string key = text.substr(0, eq), value = text.substr(eq + 1);
  const int32_t index = Profile->IndexOfKey(key);
  if (index >= 0) {
    Profile->SetValueAt(index, value);
  } else {
    Profile->AddPair(key, value);
  }
  SaveProfile();
  return 0;
}

void TMainForm::SaveProfile() {
  Profile->SaveGroupToFile(AppDataFolder + "ZazoData.cfg", 0);
  Profile->SaveGroupToFile(AppDataFolder + "Profile.txt", 1);
}
