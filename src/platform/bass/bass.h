// The sound stand-in: for now only the two calls that pause and resume all sound output.
// bass_stub.cpp counts them so tests can see what the frame and the game asked for; the full
// stand-in (streams, volume, playback) replaces the stub.
#pragma once

#include "platform/win32/win32_types.h"

namespace platform::bass {

using platform::win32::BOOL;

BOOL BASS_Pause();  // stops all output
BOOL BASS_Start();  // resumes it

namespace testing {

int PauseCalls();  // BASS_Pause calls since the last reset
int StartCalls();
void ResetCallCounts();

}  // namespace testing

}  // namespace platform::bass
