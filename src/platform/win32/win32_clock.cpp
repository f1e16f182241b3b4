// Clocks over clock_gettime: CLOCK_MONOTONIC for the counters, the local time zone for the
// wall clock.

#include "platform/win32/win32_clock.h"

#include <time.h>

namespace platform::win32 {

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) return FALSE;
  frequency->QuadPart = 1000000000;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (!count) return FALSE;
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  count->QuadPart = static_cast<LONGLONG>(t.tv_sec) * 1000000000 + t.tv_nsec;
  return TRUE;
}

DWORD timeGetTime() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<DWORD>(static_cast<uint64_t>(t.tv_sec) * 1000u + static_cast<uint64_t>(t.tv_nsec) / 1000000u);
}

void GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  tm local{};
  const time_t seconds = t.tv_sec;
  localtime_r(&seconds, &local);
  time->wYear = static_cast<WORD>(local.tm_year + 1900);
  time->wMonth = static_cast<WORD>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time->wDay = static_cast<WORD>(local.tm_mday);
  time->wHour = static_cast<WORD>(local.tm_hour);
  time->wMinute = static_cast<WORD>(local.tm_min);
  time->wSecond = static_cast<WORD>(local.tm_sec < 60 ? local.tm_sec : 59);  // no leap second
  time->wMilliseconds = static_cast<WORD>(t.tv_nsec / 1000000);
}

}  // namespace platform::win32
