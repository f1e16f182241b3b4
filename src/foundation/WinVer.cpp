// Windows product names from the version record, as the log header shows them.
#include "foundation/WinVer.h"

#include <cstring>

#include "runtime/Strings.h"

namespace w32 = platform::win32;

bool GetOSVersionInfo(w32::OSVERSIONINFOEXA& info) {
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof(w32::OSVERSIONINFOEXA);
  if (w32::GetVersionExA(&info)) return true;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof(w32::OSVERSIONINFOA);
  if (w32::GetVersionExA(reinterpret_cast<w32::OSVERSIONINFOA*>(&info))) return true;
  info.dwOSVersionInfoSize = 0;
  return false;
}

namespace {

std::string Windows9xName(const w32::OSVERSIONINFOEXA& info) {
  if (info.dwMajorVersion != 4) return {};
  const char marker = std::strlen(info.szCSDVersion) >= 2 ? info.szCSDVersion[1] : '\0';
  switch (info.dwMinorVersion) {
    case 0: return std::string("Microsoft Windows 95") + (marker == 'B' || marker == 'C' ? " OSR2" : "");
    case 10: return std::string("Microsoft Windows 98") + (marker == 'A' ? " SE" : "");
    case 90: return "Microsoft Windows Millennium Edition";
    default: return {};
  }
}

std::string NtEdition(const w32::OSVERSIONINFOEXA& info) {
  const w32::DWORD major = info.dwMajorVersion;
  const w32::DWORD minor = info.dwMinorVersion;
  const w32::WORD suite = info.wSuiteMask;
  if (info.wProductType == w32::VER_NT_WORKSTATION) {
    if (major == 4) return " Workstation 4.0";
    return (suite & w32::VER_SUITE_PERSONAL) ? " Home Edition" : " Professional";
  }
  if (info.wProductType == w32::VER_NT_SERVER) {
    if (major == 5 && minor == 2) {
      if (suite & w32::VER_SUITE_DATACENTER) return " Datacenter Edition";
      if (suite & w32::VER_SUITE_ENTERPRISE) return " Enterprise Edition";
      if (suite == w32::VER_SUITE_BLADE) return " Web Edition";
      return " Standard Edition";
    }
    if (major == 5 && minor == 0) {
      if (suite & w32::VER_SUITE_DATACENTER) return " Datacenter Server";
      if (suite & w32::VER_SUITE_ENTERPRISE) return " Advanced Server";
      return " Server";
    }
    return " Server " + std::to_string(major) + "." + std::to_string(minor) +
           ((suite & w32::VER_SUITE_ENTERPRISE) ? ", Enterprise Edition" : "");
  }
  return {};
}

std::string NtServicePack(const w32::OSVERSIONINFOEXA& info) {
  const std::string csd = info.szCSDVersion;
  if (info.dwMajorVersion == 4 && rtl::SameText(csd, "Service Pack 6")) {
    w32::HKEY key = nullptr;
    if (w32::RegOpenKeyExA(w32::HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009",
                           0, w32::KEY_READ, &key) == static_cast<w32::LONG>(w32::ERROR_SUCCESS)) {
      w32::RegCloseKey(key);
      return " Service Pack 6a";
    }
  }
  return " " + csd;
}

std::string WindowsNtName(const w32::OSVERSIONINFOEXA& info, bool extended) {
  std::string name;
  if (info.dwMajorVersion == 5 && info.dwMinorVersion == 2) {
    name = "Microsoft Windows Server 2003";
  } else if (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) {
    name = "Microsoft Windows XP";
  } else if (info.dwMajorVersion == 5 && info.dwMinorVersion == 0) {
    name = "Microsoft Windows 2000";
  } else {
    name = "Microsoft Windows NT";
  }
  if (extended) name += NtEdition(info);
  name += NtServicePack(info);
  name += " (Build " + std::to_string(info.dwBuildNumber & 0xFFFF) + ")";
  return name;
}

}  // namespace

std::string GetOSName() {
  w32::OSVERSIONINFOEXA info{};
  if (!GetOSVersionInfo(info)) return {};
  const bool extended = info.dwOSVersionInfoSize == sizeof(w32::OSVERSIONINFOEXA);
  info.szCSDVersion[sizeof info.szCSDVersion - 1] = '\0';
  switch (info.dwPlatformId) {
    case w32::VER_PLATFORM_WIN32s: return "Microsoft Win32s";
    case w32::VER_PLATFORM_WIN32_WINDOWS: return Windows9xName(info);
    case w32::VER_PLATFORM_WIN32_NT: return WindowsNtName(info, extended);
    case w32::VER_PLATFORM_WIN32_CE: return {};
    default: return w32::KernelNameAndRelease();  // not Windows: say what the machine runs
  }
}
