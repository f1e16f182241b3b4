// Stand-in for the output control of the sound library until the sound stand-in exists: both
// calls succeed and are only counted.
#include "platform/bass/bass.h"

namespace platform::bass {

namespace {
int pauseCalls = 0;
int startCalls = 0;
}  // namespace

BOOL BASS_Pause() {
  ++pauseCalls;
  return win32::TRUE;
}

BOOL BASS_Start() {
  ++startCalls;
  return win32::TRUE;
}

namespace testing {

int PauseCalls() { return pauseCalls; }
int StartCalls() { return startCalls; }
void ResetCallCounts() { pauseCalls = startCalls = 0; }

}  // namespace testing

}  // namespace platform::bass
