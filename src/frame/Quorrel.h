// Unit Quorrel: the program block. Quorrel.cpp holds the process entry; the steps it runs on
// the application object are here so tests can drive them.
//
// Start-up reads the command line (after the program name):
//   "-w" anywhere (exact, case-sensitive)  windowed instead of full screen;
//   "[X,Y]" with two positive integers     the logical drawing size (SizeOverrideX/Y); a later
//                                          one replaces an earlier one; any other text that
//                                          starts with "[" is ignored;
//   "-e" as the first parameter            every other parameter (except "-w" and any holding a
//                                          "[") joined as "a;b;" into LaunchList;
//   "-s name" as the first two             LaunchName := name up to its first "."; "-s" alone
//                                          ends the process before any window exists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

class CD3DGame;

struct TStartParams {
  int32_t StartX = 0, StartY = 0;  // the position parameter, 0 when none
  bool HaltAtOnce = false;         // "-s" without a name: end the process now
};

// "[" X "," Y "]" with both integers positive; text after the "]" is ignored.
bool ParsePositionParam(const std::string& text, int32_t& x, int32_t& y);

// The window-mode, position and launch scan over params (the parameters after the program
// name), writing m_bWindowed, LaunchList and LaunchName.
TStartParams ReadCommandLine(CD3DGame& game, const std::vector<std::string>& params);

// After the message loop: the game's end call, "Link.url" when present, "survey.url" when
// present and not yet opened (both in the current folder).
void ShutDownAfterLoop(CD3DGame& game);

// The whole program block from constructing the application object to its freeing; ends the
// process itself for "-s" alone (exit code 0) and where no window can open (exit code 1). The
// caller then halts with exit code 0.
void RunQuorrel(const std::vector<std::string>& params, platform::win32::HINSTANCE hInstance);
