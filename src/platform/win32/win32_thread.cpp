// Thread priority as the calling thread's nice value, and the process exit routine.

#include "platform/win32/win32_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>

#include "platform/win32/win32_system.h"

namespace platform::win32 {
namespace {

HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

// Nice steps per Windows priority level.
int NiceOf(int priority) {
  switch (priority) {
    case THREAD_PRIORITY_IDLE: return 19;
    case THREAD_PRIORITY_LOWEST: return 10;
    case THREAD_PRIORITY_BELOW_NORMAL: return 5;
    case THREAD_PRIORITY_NORMAL: return 0;
    case THREAD_PRIORITY_ABOVE_NORMAL: return -5;
    case THREAD_PRIORITY_HIGHEST: return -10;
    case THREAD_PRIORITY_TIME_CRITICAL: return -20;
    default: return 100;  // not a priority level
  }
}

thread_local int threadPriority = THREAD_PRIORITY_NORMAL;

std::mutex hookMutex;
std::function<void(UINT)> exitHook;
std::atomic<bool> exiting{false};
thread_local bool exitingHere = false;

}  // namespace

HANDLE GetCurrentThread() { return kCurrentThread; }

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

BOOL SetThreadPriority(HANDLE thread, int priority) {
  const int nice = NiceOf(priority);
  if (thread != kCurrentThread || nice == 100) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Relative to the process's own nice value, so a niced game keeps its place.
  const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), base + nice) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  threadPriority = priority;
  return TRUE;
}

int GetThreadPriority(HANDLE thread) {
  return thread == kCurrentThread ? threadPriority : THREAD_PRIORITY_NORMAL;
}

void SetExitProcessHook(std::function<void(UINT exitCode)> hook) {
  std::lock_guard lock(hookMutex);
  exitHook = std::move(hook);
}

void ExitProcess(UINT exitCode) {
  if (!exitingHere && !exiting.exchange(true)) {
    exitingHere = true;
    std::function<void(UINT)> hook;
    {
      std::lock_guard lock(hookMutex);
      hook = exitHook;
    }
    if (hook) {
      try {
        hook(exitCode);
      } catch (...) {
        // The process ends regardless; a failing finaliser must not keep it alive.
      }
    }
  } else if (!exitingHere) {
    // Another thread is ending the process: wait for it rather than race its finalisers.
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  // Static destructors are skipped: worker threads may still be using what they would free.
  std::_Exit(static_cast<int>(exitCode));
}

}  // namespace platform::win32
