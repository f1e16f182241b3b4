// Files, links, logs and other script operations of the game object.
// QuitGame, AppChangeWindowMode and OpenUrlByString are built; the others do nothing yet and
// return no results.
#include "game/main.h"

#include "foundation/KeshLogEngine.h"
#include "frame/App.h"
#include "platform/win32/win32_shell.h"
#include "runtime/Files.h"
#include "runtime/Units.h"

int TMainForm::InitLogFile(lua_State*) { return 0; }
int TMainForm::WriteToLogFile(lua_State*) { return 0; }
int TMainForm::DataFromFile(lua_State*) { return 0; }
int TMainForm::DataToFile(lua_State*) { return 0; }
int TMainForm::SaveFile(lua_State*) { return 0; }
int TMainForm::GetCurrentLanguage(lua_State*) { return 0; }
int TMainForm::GetDialogList(lua_State*) { return 0; }
int TMainForm::QuitGame(lua_State*) {
  LogEngine->AddHint("TMainForm.QuitGame");
  if (rtl::FileExists("Link.url")) OpenUrlByString("Link.url");
  if (rtl::FileExists("survey.url")) OpenUrlByString("survey.url");
  rtl::Halt(0);  // at once; the finalisers still write the log footers
}
int TMainForm::SetFormCaption(lua_State*) { return 0; }
int TMainForm::ReLoadLua(lua_State*) { return 0; }
int TMainForm::AppChangeWindowMode(lua_State*) {
  if (Game) {
    Game->ToggleWindowMode();
  } else {
    LogEngine->AddError("TMainForm.AppChangeWindowMode no application frame");
  }
  return 0;
}
int TMainForm::AppChangeCustomCursor(lua_State*) { return 0; }
int TMainForm::SetCursor(lua_State*) { return 0; }
int TMainForm::OpenUrl(lua_State*) { return 0; }
int TMainForm::JumpUrl(lua_State*) { return 0; }
int TMainForm::WSurvey_BOk(lua_State*) { return 0; }
int TMainForm::ShowErrorAlert(lua_State*) { return 0; }
void TMainForm::OpenUrlByString(const std::string& url) {
  platform::win32::ShellExecuteA(nullptr, nullptr, url.c_str(), nullptr, nullptr, platform::win32::SW_SHOWNORMAL);
}
