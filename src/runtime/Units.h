// Unit initialisation and finalisation: every "end the process with exit code 0" goes through
// Halt, which runs the registered finalisers in reverse order of registration (the log engine
// registers first, so its footers are written last) and then ends the process.
#pragma once

#include <functional>

namespace rtl {

void AddFinalizer(std::function<void()> finalizer);
// Runs the finalisers once (later calls and calls from inside a finaliser run none again).
void RunFinalizers();
[[noreturn]] void Halt(int exitCode);

}  // namespace rtl
