// What identifies the machine: the Windows folder text, a volume serial number that stays the
// same on this machine (from /etc/machine-id, else the root file system's id), and the
// computer name (the host name in upper case, at most 15 characters).
#pragma once

#include "platform/win32/win32_types.h"

namespace platform::win32 {

constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;
constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;

// "C:\WINDOWS". Returns the length, or the size needed (with the terminator) when it does not fit.
UINT GetWindowsDirectoryA(char* buffer, UINT size);
// Any root ("C:\") names the same volume. Pointers may be null.
BOOL GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize,
                           DWORD* serialNumber, DWORD* maxComponentLength, DWORD* fileSystemFlags,
                           char* fileSystemName, DWORD fileSystemNameSize);
// size: in, the buffer's size; out, the length copied, or the size needed with
// ERROR_BUFFER_OVERFLOW.
BOOL GetComputerNameA(char* buffer, DWORD* size);

}  // namespace platform::win32
