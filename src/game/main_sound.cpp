// Sound of the game object.
// Not built yet: every operation here does nothing and a script operation returns no results.
#include "game/main.h"

int TMainForm::InitSound(lua_State*) { return 0; }
int TMainForm::LoadSound(lua_State*) { return 0; }
int TMainForm::PlaySound(lua_State*) { return 0; }
int TMainForm::StopSound(lua_State*) { return 0; }
int TMainForm::SetVolumeSound(lua_State*) { return 0; }
int TMainForm::FreeSounds(lua_State*) { return 0; }
