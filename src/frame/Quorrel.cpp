// The process entry: records the command line, starts the log engine (the first unit, so its
// footers are written last), runs the program block and ends through the one exit routine.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "foundation/KeshLogEngine.h"
#include "frame/Quorrel.h"
#include "platform/win32/win32_log.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_thread.h"
#include "runtime/Units.h"

int main(int argc, char** argv) {
  platform::win32::SetCommandLine(argc, argv);
  platform::win32::CloseWindowsOnEndSignals();
  InitializeKeshLogEngine();
  // What the platform layer refuses (a shell open of a program, say) belongs in the game's log;
  // the log is the main thread's, so lines from other threads go to standard error.
  const std::thread::id mainThread = std::this_thread::get_id();
  platform::win32::SetLogSink([mainThread](int level, const std::string& text) {
    if (std::this_thread::get_id() != mainThread) {
      std::fprintf(stderr, "%s\n", text.c_str());
    } else if (level == platform::win32::kLogError) {
      LogEngine->AddError(text);
    } else if (level == platform::win32::kLogWarning) {
      LogEngine->AddWarning(text);
    } else {
      LogEngine->AddHint(text);
    }
  });
  platform::win32::SetExitProcessHook([](platform::win32::UINT) { rtl::RunFinalizers(); });
  std::vector<std::string> params(argv + (argc > 0 ? 1 : 0), argv + argc);
  try {
    RunQuorrel(params, nullptr);
  } catch (const std::exception& e) {
    // Memory or a thread the host could not get, outside every script call (those become script
    // errors): the game cannot go on, but it ends as a game does, its log closed.
    try {
      LogEngine->AddError(std::string("Quorrel: the game cannot go on: ") + e.what());
    } catch (...) {
      std::fprintf(stderr, "Quorrel: the game cannot go on: %s\n", e.what());
    }
  }
  rtl::Halt(0);
}
