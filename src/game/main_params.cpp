// Parameter and profile operations of the game object.
// Not built yet: every operation here does nothing and a script operation returns no results.
#include "game/main.h"

int TMainForm::GetParamsFromCode(lua_State*) { return 0; }
int TMainForm::SetParamsToCode(lua_State*) { return 0; }
int TMainForm::GetProfileFromCode(lua_State*) { return 0; }
int TMainForm::SetProfileToCode(lua_State*) { return 0; }
int TMainForm::SetProfileParam(lua_State*) { return 0; }
