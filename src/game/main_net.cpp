// HTTP requests of the scripts of the game object.
// Not built yet: every operation here does nothing and a script operation returns no results.
#include "game/main.h"

int TMainForm::PostUrl(lua_State*) { return 0; }
