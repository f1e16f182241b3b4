// Files, links, logs and other script operations of the game object: the script's own log, data
// files, bonus copies, the dialog folders, the language, quitting, links and shortcut files, the
// error dialog, the reload of the loose script files, the window mode and the cursor. The file
// work lives in ScriptFiles.h.
//
// A failing file never ends a running game: the operation logs an error naming itself and the
// file and returns as usual. Links go through the win32 stand-in's shell open, which refuses
// programs, options and command lines.
#include <exception>

#include "foundation/KeshLogEngine.h"
#include "frame/App.h"
#include "game/ScriptFiles.h"
#include "game/main.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_window.h"
#include "runtime/Files.h"
#include "runtime/Rounding.h"
#include "runtime/Units.h"
#include "script/LuaArgs.h"

namespace win32 = platform::win32;

namespace {

// Windows answers 32 or less for a failure; the stand-in has logged its reason, this names the
// operation.
void ShellOpen(const char* operation, const std::string& url, const char* verb, int show) {
  const win32::HINSTANCE result = win32::ShellExecuteA(nullptr, verb, url.c_str(), nullptr, nullptr, show);
  if (reinterpret_cast<intptr_t>(result) <= 32) {
    LogEngine->AddWarning(std::string("TMainForm.") + operation + " cannot open \"" + url + "\"");
  }
}

// The values at 1, 2, ... of a table argument, up to the first nil, as 16-bit code units (the
// low 16 bits of each rounded value, however large). Lua
// 5.1's traversal order is not the index order, so the sequence is read by index; other keys,
// and any argument that is not a table, give nothing.
std::u16string TableCodeUnits(lua_State* L, int index) {
  std::u16string units;
  if (!lua_istable(L, index)) return units;
  for (int i = 1;; ++i) {
    lua_rawgeti(L, index, i);
    const bool present = !lua_isnil(L, -1);
    if (present) units += static_cast<char16_t>(rtl::LowBitsOfRound<uint16_t>(lua_tonumber(L, -1)));
    lua_pop(L, 1);
    if (!present) break;
  }
  return units;
}

}  // namespace

int TMainForm::InitLogFile(lua_State* L) {
  ScriptLog = AppDataFolder + LuaArgText(L, 1);
  try {
    rtl::WriteFileBytes(ScriptLog, "");
  } catch (const std::exception& e) {
    LogEngine->AddError("TMainForm.InitLogFile " + std::string(e.what()));
  }
  return 0;
}

int TMainForm::WriteToLogFile(lua_State* L) {
  const std::string text = LuaArgText(L, 1);
  if (ScriptLog.empty()) {
    LogEngine->AddError("TMainForm.WriteToLogFile called before InitLogFile: \"" + text + "\" not written");
    return 0;
  }
  try {
    rtl::AppendFileBytes(ScriptLog, text + "\r\n");
  } catch (const std::exception& e) {
    LogEngine->AddError("TMainForm.WriteToLogFile " + std::string(e.what()));
  }
  return 0;
}

int TMainForm::DataFromFile(lua_State* L) {
  std::string text;
  try {
    text = script_files::ReadDataFile(AppDataFolder + LuaArgText(L, 1));
  } catch (const std::exception& e) {
    LogEngine->AddError("TMainForm.DataFromFile " + std::string(e.what()));
  }
  LuaPushText(L, text);
  return 1;
}

int TMainForm::DataToFile(lua_State* L) {
  try {
    script_files::WriteDataFile(LuaArgText(L, 1), LuaArgText(L, 2));
  } catch (const std::exception& e) {
    LogEngine->AddError("TMainForm.DataToFile " + std::string(e.what()));
  }
  // The last argument goes back, whatever it is (nil when there is none).
  if (lua_gettop(L) == 0) {
    lua_pushnil(L);
  } else {
    lua_pushvalue(L, -1);
  }
  return 1;
}

int TMainForm::SaveFile(lua_State* L) {
  const std::string file = LuaArgText(L, 1);
  (void)LuaArgBoolean(L, 2);
  const std::string folder = LuaHasArg(L, 3) ? LuaArgText(L, 3) : std::string("QuorrelAshgrove");
  if (DocumentsFolder.empty()) {
    // Before CreateAppDataFolder the target would be a folder at the root of the file system.
    LogEngine->AddWarning("TMainForm.SaveFile " + file + ": the documents folder is not known yet, nothing copied");
    return 0;
  }
  script_files::CopyBonusFile(ProgramPath, DocumentsFolder, file, folder);
  return 0;
}

int TMainForm::GetCurrentLanguage(lua_State* L) {
  const std::string folder = !ProgramFolder.empty() ? ProgramFolder : rtl::ExcludeTrailingBackslash(rtl::ProgramFolder());
  LuaPushText(L, script_files::LanguageOfFolder(folder));
  return 1;
}

int TMainForm::GetDialogList(lua_State* L) {
  LuaPushText(L, script_files::SubFolderList(ProgramPath + "History"));
  return 1;
}

int TMainForm::QuitGame(lua_State*) {
  LogEngine->AddHint("TMainForm.QuitGame");
  if (rtl::FileExists("Link.url")) OpenUrlByString("Link.url");
  if (rtl::FileExists("survey.url")) OpenUrlByString("survey.url");
  rtl::Halt(0);  // at once; the finalisers still write the log footers
}

int TMainForm::SetFormCaption(lua_State* L) {
  FormCaption = LuaArgText(L, 1);
  return 0;
}

int TMainForm::ReLoadLua(lua_State*) {
  if (!LuaHost) return 0;
  rtl::TStringList lines;
  if (!script_files::LoadReloadScripts(script_files::ReloadScriptNames(), lines)) return 0;
  try {
    lines.SaveToFile("AllLua.lua");
  } catch (const std::exception& e) {
    LogEngine->AddError("TMainForm.ReLoadLua " + std::string(e.what()));
  }
  const std::string text = lines.Text();
  lua_State* S = LuaHost->LuaState;
  const int top = lua_gettop(S);
  // What the chunk defined before it failed stays; the game goes on with that state.
  if (LuaHost->DoString(text.c_str()) != 0) LogEngine->AddError("TMainForm.ReLoadLua " + LuaHost->ErrorText());
  lua_settop(S, top);
  LuaHost->SendKeyDown(116, 0);  // F5
  return 0;
}

int TMainForm::AppChangeWindowMode(lua_State*) {
  if (Game) {
    Game->ToggleWindowMode();
  } else {
    LogEngine->AddError("TMainForm.AppChangeWindowMode no application frame");
  }
  return 0;
}

int TMainForm::AppChangeCustomCursor(lua_State*) { return 0; }

int TMainForm::SetCursor(lua_State* L) {
  win32::SetCursor(win32::LoadCursor(nullptr, script_files::CursorOfName(LuaArgText(L, 1))));
  return 0;
}

int TMainForm::OpenUrl(lua_State* L) {
  OpenUrlByString(LuaArgText(L, 1));
  return 0;
}

int TMainForm::JumpUrl(lua_State* L) {
  const std::string url = LuaArgText(L, 1);
  lua_settop(L, 0);
  ShellOpen("JumpUrl", url, "open", win32::SW_SHOW);
  return 0;
}

int TMainForm::WSurvey_BOk(lua_State*) {
  if (!rtl::FileExists("survey.url")) return 0;
  OpenUrlByString("survey.url");
  SurveyOpened = true;
  return 0;
}

int TMainForm::ShowErrorAlert(lua_State* L) {
  (void)TableCodeUnits(L, 1);
  const std::u16string message = TableCodeUnits(L, 2);
  (void)TableCodeUnits(L, 3);
  const std::string funcName = LuaArgText(L, 4);
  lua_settop(L, 0);

  const bool fullScreen = Engine && Engine->FullScreen;
  if (fullScreen) win32::ShowWindow(WindowHandle, win32::SW_HIDE);
  const int answer = win32::MessageBoxW(WindowHandle, message.c_str(), u"Error", win32::MB_RETRYCANCEL | win32::MB_ICONERROR);
  if (answer != win32::IDRETRY) QuitGame(L);
  if (fullScreen) win32::ShowWindow(WindowHandle, win32::SW_SHOW);
  if (LuaHost) LuaHost->CallScript(funcName, {}, TScriptFailure::ReportAndEnd);
  return 0;
}

void TMainForm::OpenUrlByString(const std::string& url) { ShellOpen("OpenUrlByString", url, nullptr, win32::SW_SHOWNORMAL); }
