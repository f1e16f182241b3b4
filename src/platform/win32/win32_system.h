// System services with their Windows names: the last-error code, the millisecond tick count,
// the executable's path, memory and disk figures, the version record, CPUID, the processor
// count and a registry. Linux meanings:
//   - the executable's path is argv[0] as invoked (symbolic links kept, so a game folder reached
//     through a link is the program folder), made absolute against the starting folder; when
//     argv[0] holds no "/" (found through PATH) or was never recorded, /proc/self/exe;
//   - the version record carries VER_PLATFORM_POSIX, a platform id no Windows uses, and the
//     kernel's release numbers;
//   - the registry holds no keys.
// Test seams (at the end) replace the tick source, the version record, the CPUID results and
// the registry's keys.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

namespace platform::win32 {

// Windows error codes the stand-in reports.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
constexpr DWORD ERROR_PIPE_NOT_CONNECTED = 233;
constexpr DWORD ERROR_FILE_INVALID = 1006;
constexpr DWORD ERROR_TOO_MANY_LINKS = 1142;
constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;
constexpr DWORD ERROR_TIMEOUT = 1460;

DWORD GetLastError();  // per thread
void SetLastError(DWORD code);
DWORD ErrorFromErrno(int err);  // the Windows code for a POSIX errno value
// A short English text of what the code means, for messages that name the reason of a failure.
std::string ErrorText(DWORD code);

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Windows counter.
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

// Records argv[0] and the parameters; main calls this before anything asks for the executable's
// path.
void SetCommandLine(int argc, char** argv);
// The parameters after the program name, as SetCommandLine recorded them.
std::vector<std::string> CommandLineParams();
// GetModuleFileNameA(nullptr, ...) only: the executable's path. Returns the length copied
// (without the terminating zero); a too small buffer gets the truncated text, the size as
// result and ERROR_INSUFFICIENT_BUFFER, as on Windows.
DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD size);
std::string ExecutablePath();  // the same text as a string

struct MEMORYSTATUSEX {
  DWORD dwLength;
  DWORD dwMemoryLoad;
  UINT64 ullTotalPhys;
  UINT64 ullAvailPhys;
  UINT64 ullTotalPageFile;
  UINT64 ullAvailPageFile;
  UINT64 ullTotalVirtual;
  UINT64 ullAvailVirtual;
  UINT64 ullAvailExtendedVirtual;
};
BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);  // dwLength must be set to the size

// Pages of their own, apart from the heap: zero-filled and resident only once written, and given
// back to the system whole when freed. Only a new region, MEM_COMMIT | MEM_RESERVE (with
// MEM_LARGE_PAGES or not) and PAGE_READWRITE; VirtualFree MEM_RELEASE of a whole region (size 0),
// or MEM_DECOMMIT of whole pages inside one, which gives their memory back at once (the pages
// must not be used again). MEM_LARGE_PAGES asks for huge pages where the system gives them (any size, no
// privilege; normal pages otherwise): a region that will be written whole then costs a few page
// faults instead of one per 4 KiB, but each huge page is resident whole once touched.
constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_LARGE_PAGES = 0x20000000;
constexpr DWORD MEM_DECOMMIT = 0x4000;
constexpr DWORD MEM_RELEASE = 0x8000;
constexpr DWORD PAGE_READWRITE = 0x04;
void* VirtualAlloc(void* address, std::size_t size, DWORD allocationType, DWORD protect);
BOOL VirtualFree(void* address, std::size_t size, DWORD freeType);

struct ULARGE_INTEGER {
  UINT64 QuadPart;
};
// The figures of the file system holding the (Windows-style) path; any pointer may be null.
BOOL GetDiskFreeSpaceExA(const char* directory, ULARGE_INTEGER* freeBytesAvailableToCaller,
                         ULARGE_INTEGER* totalNumberOfBytes, ULARGE_INTEGER* totalNumberOfFreeBytes);

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr DWORD VER_PLATFORM_WIN32_CE = 3;
constexpr DWORD VER_PLATFORM_POSIX = 0x10;  // ours: no Windows reports it

constexpr BYTE VER_NT_WORKSTATION = 1;
constexpr BYTE VER_NT_DOMAIN_CONTROLLER = 2;
constexpr BYTE VER_NT_SERVER = 3;
constexpr WORD VER_SUITE_ENTERPRISE = 0x0002;
constexpr WORD VER_SUITE_DATACENTER = 0x0080;
constexpr WORD VER_SUITE_PERSONAL = 0x0200;
constexpr WORD VER_SUITE_BLADE = 0x0400;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
struct OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
// Fills the basic or the extended record, chosen by dwOSVersionInfoSize; any other size is
// refused with ERROR_INVALID_PARAMETER.
BOOL GetVersionExA(OSVERSIONINFOA* info);
BOOL GetVersionExA(OSVERSIONINFOEXA* info);

// "Linux 6.1.0-13-amd64": the running kernel's name and release (uname).
std::string KernelNameAndRelease();

// CPUID: available on x86 builds only. Registers come back as EAX, EBX, ECX, EDX.
bool CpuidAvailable();
std::array<DWORD, 4> Cpuid(DWORD leaf);

struct SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  void* lpMinimumApplicationAddress;
  void* lpMaximumApplicationAddress;
  uintptr_t dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
};
void GetSystemInfo(SYSTEM_INFO* info);

// The registry: no keys exist unless a test adds some, and opened keys hold no values.
using REGSAM = DWORD;
constexpr REGSAM KEY_READ = 0x20019;
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<intptr_t>(LONG(0x80000000u)));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<intptr_t>(LONG(0x80000001u)));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<intptr_t>(LONG(0x80000002u)));
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result);
LONG RegCloseKey(HKEY key);

namespace seam {

// Replaces the clock behind GetTickCount; an empty function restores the real one.
void SetTickSource(std::function<DWORD()> source);

// The record GetVersionExA hands out, and which of the two record sizes it accepts.
struct VersionRecord {
  OSVERSIONINFOEXA info;
  bool acceptExtended = true;
  bool acceptBasic = true;
};
void InjectVersionRecord(std::optional<VersionRecord> record);  // nullopt: the real one

// CPUID results by leaf; leaves not listed give zeros. available false: no CPUID at all.
struct CpuidTable {
  bool available = true;
  std::map<DWORD, std::array<DWORD, 4>> leaves;
};
void InjectCpuid(std::optional<CpuidTable> table);  // nullopt: the real instruction

// Keys that RegOpenKeyExA then opens, as "HKEY_LOCAL_MACHINE\\Sub\\Key" texts (any case).
void SetRegistryKeys(std::vector<std::string> keys);

}  // namespace seam

}  // namespace platform::win32
