// The process entry: records the command line, starts the log engine (the first unit, so its
// footers are written last), runs the program block and ends through the one exit routine.
#include <string>
#include <vector>

#include "foundation/KeshLogEngine.h"
#include "frame/Quorrel.h"
#include "platform/win32/win32_system.h"
#include "runtime/Units.h"

int main(int argc, char** argv) {
  platform::win32::SetCommandLine(argc, argv);
  InitializeKeshLogEngine();
  std::vector<std::string> params(argv + (argc > 0 ? 1 : 0), argv + argc);
  RunQuorrel(params, nullptr);
  rtl::Halt(0);
}
