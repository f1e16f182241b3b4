// Per-user folder and project settings of the game object.
// Not built yet: every operation here does nothing and a script operation returns no results.
#include "game/main.h"

int TMainForm::CreateAppDataFolder(lua_State*) { return 0; }
int TMainForm::LoadLuas(lua_State*) { return 0; }
