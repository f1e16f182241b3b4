// The machine identifier of the scripts' GetDeviceID: the MD5 hex digest of the system volume's
// serial number, as eight upper-case hexadecimal digits, followed by the computer name. It stays
// the same as long as the volume and the computer name do.
#pragma once

#include <cstdint>
#include <string>

// 32 lower-case hexadecimal digits.
std::string DeviceIdText(uint32_t volumeSerial, const std::string& computerName);

// The serial number of the volume that holds the Windows folder; 0 when it cannot be read.
uint32_t SystemVolumeSerial();
// At most 15 characters; "" when it cannot be read.
std::string SystemComputerName();

// DeviceIdText of this machine.
std::string DeviceId();
