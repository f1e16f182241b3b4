#include "game/DeviceIdentity.h"

#include <algorithm>

#include "foundation/md5.h"
#include "platform/win32/win32_identity.h"
#include "runtime/Strings.h"

namespace win32 = platform::win32;

std::string DeviceIdText(uint32_t volumeSerial, const std::string& computerName) {
  return MD5ToHex(MD5DigestOfText(rtl::Format("%8.8X", volumeSerial) + computerName));
}

uint32_t SystemVolumeSerial() {
  char folder[144] = {};
  const win32::UINT length = win32::GetWindowsDirectoryA(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return 0;
  const char root[] = {folder[0], ':', '\\', '\0'};
  win32::DWORD serial = 0;
  if (!win32::GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) return 0;
  return serial;
}

std::string SystemComputerName() {
  char name[win32::MAX_COMPUTERNAME_LENGTH + 1] = {};
  win32::DWORD size = sizeof name;
  if (!win32::GetComputerNameA(name, &size)) return "";
  return std::string(name, std::min<std::size_t>(size, sizeof name - 1));
}

std::string DeviceId() { return DeviceIdText(SystemVolumeSerial(), SystemComputerName()); }
