// Dates, text tables, digests and device identity of the game object.
// Not built yet: every operation here does nothing and a script operation returns no results.
#include "game/main.h"

int TMainForm::GetMD5(lua_State*) { return 0; }
int TMainForm::GetDeviceID(lua_State*) { return 0; }
int TMainForm::NumberToDate(lua_State*) { return 0; }
int TMainForm::DateToNumber(lua_State*) { return 0; }
int TMainForm::CodesToUTF8(lua_State*) { return 0; }
int TMainForm::UTF8ToCodes(lua_State*) { return 0; }
