// Payload codec of the game object.
// Not built yet: every operation here does nothing and a script operation returns no results.
#include "game/main.h"

int TMainForm::CryptStr(lua_State*) { return 0; }
int TMainForm::DecryptStr(lua_State*) { return 0; }
int TMainForm::CryptPOST(lua_State*) { return 0; }
int TMainForm::DecryptPOST(lua_State*) { return 0; }
int TMainForm::DepostNZip(lua_State*) { return 0; }
