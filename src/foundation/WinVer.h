// The operating system as the log header names it, from the version record of the win32
// stand-in. Windows records give the Windows product names; the stand-in's own platform id
// gives the running kernel's name and release instead.
#pragma once

#include <string>

#include "platform/win32/win32_system.h"

// The extended record when it is offered, else the basic one (then dwOSVersionInfoSize holds
// the basic size). False, with the size field 0, when neither can be read.
bool GetOSVersionInfo(platform::win32::OSVERSIONINFOEXA& info);
std::string GetOSName();
