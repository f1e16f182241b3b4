// Threads and the end of the process.
//
// Thread priorities map to the calling thread's nice value; a thread can lower its own priority
// but raising it above normal needs privileges and then fails harmlessly.
//
// ExitProcess is the one way the program ends with a code: it runs the exit hook once (the
// runtime's finalisers, log footers last) and then ends the process without running static
// destructors, which worker threads may still be using. stdio is flushed first. A second call
// (from the hook, or from another thread meanwhile) does not run the hook again.
#pragma once

#include <functional>

#include "platform/win32/win32_types.h"

namespace platform::win32 {

constexpr int THREAD_PRIORITY_IDLE = -15;
constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

HANDLE GetCurrentThread();  // a pseudo handle meaning "the calling thread"
DWORD GetCurrentThreadId();
// Only the calling thread's pseudo handle is accepted.
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);

void SetExitProcessHook(std::function<void(UINT exitCode)> hook);
[[noreturn]] void ExitProcess(UINT exitCode);

}  // namespace platform::win32
