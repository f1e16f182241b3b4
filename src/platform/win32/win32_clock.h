// Clocks: the performance counter (monotonic, nanoseconds), timeGetTime (milliseconds of the
// same clock, wrapping at 2^32) and the local wall-clock time. Safe from any thread.
#pragma once

#include "platform/win32/win32_types.h"

namespace platform::win32 {

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
DWORD timeGetTime();

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;  // 0 Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
void GetLocalTime(SYSTEMTIME* time);

}  // namespace platform::win32
