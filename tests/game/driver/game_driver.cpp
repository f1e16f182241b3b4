// Runs a game folder the way the application frame will: the log engine first, then the game
// object's FormCreate and CreateResources_Testing (which run the scripts and A_Init), then the
// end of game, then the orderly exit. The program folder is the folder of the executable as
// invoked. Arguments: optional launch list and launch name, handed to A_Init.
#include "foundation/KeshLogEngine.h"
#include "game/main.h"
#include "platform/win32/win32_system.h"
#include "runtime/Files.h"
#include "runtime/Units.h"

int main(int argc, char** argv) {
  platform::win32::SetCommandLine(argc, argv);
  InitializeKeshLogEngine();
  static TMainForm form;  // never freed, as in the program
  form.ProgramFolder = rtl::ExcludeTrailingBackslash(rtl::ProgramFolder());
  if (argc > 1) form.LaunchList = argv[1];
  if (argc > 2) form.LaunchName = argv[2];
  form.FormCreate();
  form.CreateResources_Testing();
  form.SaveGameBeforeGame();
  rtl::Halt(0);
}
