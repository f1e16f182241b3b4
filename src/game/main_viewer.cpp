// Viewer parameters of the game object.
// Not built yet: every operation here does nothing and a script operation returns no results.
#include "game/main.h"

void TMainForm::ParseParameters() {}
void TMainForm::ParseParametersFromConfig() {}
void TMainForm::ParseParametersFromParamStr() {}
