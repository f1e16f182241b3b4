// Tick count, executable path, memory, disk, version record, CPUID and registry of the win32
// stand-in, with their seams.
#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/win32/win32.h"
#include "runtime/Files.h"
#include "win32_system/TempDir.h"

using namespace platform::win32;

TEST(Win32System, TickCountAdvancesAndCanBeReplaced) {
  const DWORD before = GetTickCount();
  Sleep(20);
  const DWORD after = GetTickCount();
  EXPECT_GE(static_cast<DWORD>(after - before), 19u);  // unsigned difference: safe across a wrap

  seam::SetTickSource([] { return DWORD(0xFFFFFFF0u); });
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
  seam::SetTickSource(nullptr);
  EXPECT_NE(GetTickCount(), 0xFFFFFFF0u);
}

TEST(Win32System, ExecutablePathIsTheInvokedOne) {
  TempDir dir;
  std::filesystem::create_directories(dir / "bin");
  std::filesystem::create_symlink("/proc/self/exe", dir / "bin/game");
  const std::string real = std::filesystem::read_symlink("/proc/self/exe").string();

  // Never recorded, or found through PATH: the kernel's answer.
  SetCommandLine(0, nullptr);
  EXPECT_EQ(ExecutablePath(), real);
  char name[] = "game";
  char* plain[] = {name, nullptr};
  SetCommandLine(1, plain);
  EXPECT_EQ(ExecutablePath(), real);

  // A path: kept as given, link included, made absolute against the current folder.
  std::string linked = dir / "bin/game";
  char* viaLink[] = {linked.data(), nullptr};
  SetCommandLine(1, viaLink);
  EXPECT_EQ(ExecutablePath(), linked);
  EXPECT_EQ(rtl::ProgramFolder(), dir / "bin/");

  const std::string before = rtl::GetCurrentDir();
  ASSERT_TRUE(rtl::SetCurrentDir(dir.path()));
  std::string relative = "./bin//./game";
  char* viaRelative[] = {relative.data(), nullptr};
  SetCommandLine(1, viaRelative);
  EXPECT_EQ(ExecutablePath(), linked);
  ASSERT_TRUE(rtl::SetCurrentDir(before));

  char buffer[8];
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), sizeof buffer);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string(buffer), linked.substr(0, 7));
  char whole[4096];
  EXPECT_EQ(GetModuleFileNameA(nullptr, whole, sizeof whole), linked.size());
  EXPECT_EQ(std::string(whole), linked);

  SetCommandLine(0, nullptr);
}

TEST(Win32System, MemoryDiskAndProcessors) {
  MEMORYSTATUSEX memory{};
  EXPECT_FALSE(GlobalMemoryStatusEx(&memory));  // the size must be set
  memory.dwLength = sizeof memory;
  ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
  const UINT64 pages = static_cast<UINT64>(sysconf(_SC_PHYS_PAGES));
  const UINT64 pageSize = static_cast<UINT64>(sysconf(_SC_PAGESIZE));
  EXPECT_EQ(memory.ullTotalPhys, pages * pageSize);  // the full 64-bit total
  EXPECT_LE(memory.ullAvailPhys, memory.ullTotalPhys);

  ULARGE_INTEGER caller{}, total{}, free{};
  ASSERT_TRUE(GetDiskFreeSpaceExA(QUORREL_BINARY_DIR, &caller, &total, &free));
  EXPECT_GT(total.QuadPart, 0u);
  EXPECT_LE(free.QuadPart, total.QuadPart);
  EXPECT_LE(caller.QuadPart, free.QuadPart);
  EXPECT_FALSE(GetDiskFreeSpaceExA("/no/such/folder", &caller, nullptr, nullptr));

  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  EXPECT_EQ(info.dwNumberOfProcessors, static_cast<DWORD>(sysconf(_SC_NPROCESSORS_ONLN)));
}

TEST(Win32System, VirtualRegionsAreZeroedWritableAndFreedWhole) {
  for (const DWORD type : {MEM_COMMIT | MEM_RESERVE, MEM_COMMIT | MEM_RESERVE | MEM_LARGE_PAGES}) {
    // An odd size, which huge pages do not divide.
    const std::size_t size = (std::size_t{64} << 20) + 12345;
    auto* p = static_cast<unsigned char*>(VirtualAlloc(nullptr, size, type, PAGE_READWRITE));
    ASSERT_NE(p, nullptr) << type;
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[size - 1], 0);
    std::memset(p, 7, size);
    EXPECT_EQ(p[size - 1], 7);
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
  }
  EXPECT_EQ(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE), nullptr);
  const std::size_t size = std::size_t{64} << 20;
  auto* p = static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[size - 1], 0);
  p[0] = 1;
  p[size - 1] = 2;
  EXPECT_EQ(p[0] + p[size - 1], 3);
  EXPECT_FALSE(VirtualFree(p, size, MEM_RELEASE));  // a region is freed whole, with size 0
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));  // not twice
  int local = 0;
  EXPECT_FALSE(VirtualFree(&local, 0, MEM_RELEASE));  // nor what it did not make
  EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE), nullptr);
}

TEST(Win32System, VersionRecordRealAndInjected) {
  OSVERSIONINFOEXA ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExA(&ex));
  EXPECT_EQ(ex.dwPlatformId, VER_PLATFORM_POSIX);
  utsname names{};
  uname(&names);
  EXPECT_EQ(KernelNameAndRelease(), std::string(names.sysname) + " " + names.release);
  EXPECT_EQ(std::to_string(ex.dwMajorVersion), std::string(names.release).substr(0, std::strcspn(names.release, ".")));

  OSVERSIONINFOA basic{};
  basic.dwOSVersionInfoSize = 12;
  EXPECT_FALSE(GetVersionExA(&basic));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  seam::VersionRecord record{};
  record.info.dwMajorVersion = 5;
  record.info.dwMinorVersion = 1;
  record.info.dwBuildNumber = 2600;
  record.info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::strcpy(record.info.szCSDVersion, "Service Pack 3");
  record.info.wProductType = VER_NT_WORKSTATION;
  record.acceptExtended = false;
  seam::InjectVersionRecord(record);
  EXPECT_FALSE(GetVersionExA(&ex));
  basic.dwOSVersionInfoSize = sizeof basic;
  ASSERT_TRUE(GetVersionExA(&basic));
  EXPECT_EQ(basic.dwOSVersionInfoSize, sizeof basic);
  EXPECT_EQ(basic.dwBuildNumber, 2600u);
  EXPECT_STREQ(basic.szCSDVersion, "Service Pack 3");
  seam::InjectVersionRecord(std::nullopt);
}

TEST(Win32System, CpuidRealAndInjected) {
#if defined(__x86_64__) || defined(__i386__)
  EXPECT_TRUE(CpuidAvailable());
  EXPECT_GT(Cpuid(0)[0], 0u);
#else
  EXPECT_FALSE(CpuidAvailable());
#endif
  seam::CpuidTable table;
  table.leaves[1] = {0x000006FBu, 0, 0, 0x0F800000u};
  seam::InjectCpuid(table);
  EXPECT_TRUE(CpuidAvailable());
  EXPECT_EQ(Cpuid(1)[3], 0x0F800000u);
  EXPECT_EQ(Cpuid(7)[0], 0u);
  table.available = false;
  seam::InjectCpuid(table);
  EXPECT_FALSE(CpuidAvailable());
  seam::InjectCpuid(std::nullopt);
}

TEST(Win32System, RegistryHoldsNoKeysUnlessATestAddsThem) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Any", 0, KEY_READ, &key), LONG(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), LONG(ERROR_INVALID_HANDLE));

  seam::SetRegistryKeys({"HKEY_LOCAL_MACHINE\\SOFTWARE\\Any"});
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\ANY", 0, KEY_READ, &key), LONG(ERROR_SUCCESS));
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(RegCloseKey(key), LONG(ERROR_SUCCESS));
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Any", 0, KEY_READ, &key), LONG(ERROR_FILE_NOT_FOUND));
  seam::SetRegistryKeys({});
}
