// Machine identity. The volume serial number must not change between runs on one machine (the
// scripts derive a device identifier from it), so it is a hash of /etc/machine-id, or the root
// file system's id where that file is missing.

#include "platform/win32/win32_identity.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32/win32_system.h"

namespace platform::win32 {
namespace {

DWORD Fnv1a(const std::string& text) {
  DWORD h = 2166136261u;
  for (unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

DWORD MachineSerial() {
  for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    std::ifstream in(file);
    std::string id;
    if (in >> id && !id.empty()) return Fnv1a(id);
  }
  struct statvfs vfs{};
  if (statvfs("/", &vfs) == 0) return static_cast<DWORD>(vfs.f_fsid ^ (vfs.f_fsid >> 32));
  return 0;
}

bool CopyOut(const std::string& text, char* buffer, DWORD size) {
  if (!buffer || text.size() + 1 > size) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
  static const std::string folder = "C:\\WINDOWS";
  if (!CopyOut(folder, buffer, size)) return static_cast<UINT>(folder.size() + 1);
  return static_cast<UINT>(folder.size());
}

BOOL GetVolumeInformationA(const char*, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                           DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                           DWORD fileSystemNameSize) {
  if (volumeName && volumeNameSize && !CopyOut("", volumeName, volumeNameSize)) return FALSE;
  if (fileSystemName && fileSystemNameSize && !CopyOut("NTFS", fileSystemName, fileSystemNameSize)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (serialNumber) *serialNumber = MachineSerial();
  if (maxComponentLength) *maxComponentLength = 255;
  if (fileSystemFlags) *fileSystemFlags = 0;
  return TRUE;
}

BOOL GetComputerNameA(char* buffer, DWORD* size) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || !host[0]) std::strcpy(host, "localhost");
  std::string name(host);
  if (const size_t dot = name.find('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!CopyOut(name, buffer, *size)) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

}  // namespace platform::win32
