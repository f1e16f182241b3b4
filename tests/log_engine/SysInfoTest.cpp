// The "System Information:" texts: the OS name from injected version records, the processor
// text from injected CPUID answers, and the machine's real memory and disk figures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "foundation/CPUInfo.h"
#include "foundation/KeshLogEngine.h"
#include "foundation/WinVer.h"
#include "platform/win32/win32_system.h"

namespace w32 = platform::win32;

namespace {

struct OsCase {
  w32::DWORD platform, major, minor, build;
  const char* servicePack;
  w32::BYTE productType;
  w32::WORD suite;
  std::string expected;
};

void Inject(const OsCase& c, bool extended = true) {
  w32::seam::VersionRecord record{};
  record.info.dwPlatformId = c.platform;
  record.info.dwMajorVersion = c.major;
  record.info.dwMinorVersion = c.minor;
  record.info.dwBuildNumber = c.build;
  std::strncpy(record.info.szCSDVersion, c.servicePack, sizeof record.info.szCSDVersion - 1);
  record.info.wProductType = c.productType;
  record.info.wSuiteMask = c.suite;
  record.acceptExtended = extended;
  w32::seam::InjectVersionRecord(record);
}

class SysInfoTest : public ::testing::Test {
protected:
  void TearDown() override {
    w32::seam::InjectVersionRecord(std::nullopt);
    w32::seam::InjectCpuid(std::nullopt);
    w32::seam::SetRegistryKeys({});
  }
};

constexpr w32::BYTE WS = w32::VER_NT_WORKSTATION;
constexpr w32::BYTE SRV = w32::VER_NT_SERVER;

}  // namespace

TEST_F(SysInfoTest, OSNameOfEveryWindowsRecord) {
  const OsCase cases[] = {
      {0, 3, 10, 0, "", 0, 0, "Microsoft Win32s"},
      {1, 4, 0, 950, "", 0, 0, "Microsoft Windows 95"},
      {1, 4, 0, 1111, " B", 0, 0, "Microsoft Windows 95 OSR2"},
      {1, 4, 0, 1212, " C", 0, 0, "Microsoft Windows 95 OSR2"},
      {1, 4, 10, 1998, "", 0, 0, "Microsoft Windows 98"},
      {1, 4, 10, 2222, " A ", 0, 0, "Microsoft Windows 98 SE"},
      {1, 4, 90, 3000, "", 0, 0, "Microsoft Windows Millennium Edition"},
      {1, 4, 50, 0, "", 0, 0, ""},
      {1, 5, 0, 0, "", 0, 0, ""},
      {2, 5, 1, 2600, "Service Pack 3", WS, 0, "Microsoft Windows XP Professional Service Pack 3 (Build 2600)"},
      {2, 5, 1, 2600, "Service Pack 2", WS, 0x0200, "Microsoft Windows XP Home Edition Service Pack 2 (Build 2600)"},
      {2, 5, 1, 0x0A280A28, "", WS, 0, "Microsoft Windows XP Professional  (Build 2600)"},
      {2, 6, 2, 9200, "", WS, 0, "Microsoft Windows NT Professional  (Build 9200)"},
      {2, 4, 0, 1381, "Service Pack 5", WS, 0, "Microsoft Windows NT Workstation 4.0 Service Pack 5 (Build 1381)"},
      {2, 4, 0, 1381, "service pack 6", WS, 0, "Microsoft Windows NT Workstation 4.0 service pack 6 (Build 1381)"},
      {2, 5, 0, 2195, "Service Pack 4", WS, 0, "Microsoft Windows 2000 Professional Service Pack 4 (Build 2195)"},
      {2, 5, 2, 3790, "Service Pack 1", SRV, 0x0080 | 0x0002,
       "Microsoft Windows Server 2003 Datacenter Edition Service Pack 1 (Build 3790)"},
      {2, 5, 2, 3790, "", SRV, 0x0002, "Microsoft Windows Server 2003 Enterprise Edition  (Build 3790)"},
      {2, 5, 2, 3790, "", SRV, 0x0400, "Microsoft Windows Server 2003 Web Edition  (Build 3790)"},
      {2, 5, 2, 3790, "", SRV, 0x0410, "Microsoft Windows Server 2003 Standard Edition  (Build 3790)"},
      {2, 5, 2, 3790, "", SRV, 0, "Microsoft Windows Server 2003 Standard Edition  (Build 3790)"},
      {2, 5, 0, 2195, "", SRV, 0x0080, "Microsoft Windows 2000 Datacenter Server  (Build 2195)"},
      {2, 5, 0, 2195, "", SRV, 0x0002, "Microsoft Windows 2000 Advanced Server  (Build 2195)"},
      {2, 5, 0, 2195, "", SRV, 0, "Microsoft Windows 2000 Server  (Build 2195)"},
      {2, 6, 0, 6001, "Service Pack 1", SRV, 0x0002,
       "Microsoft Windows NT Server 6.0, Enterprise Edition Service Pack 1 (Build 6001)"},
      {2, 4, 0, 1381, "", SRV, 0, "Microsoft Windows NT Server 4.0  (Build 1381)"},
      {2, 5, 1, 2600, "Service Pack 3", w32::VER_NT_DOMAIN_CONTROLLER, 0,
       "Microsoft Windows XP Service Pack 3 (Build 2600)"},
      {3, 5, 0, 0, "", 0, 0, ""},
  };
  for (const OsCase& c : cases) {
    Inject(c);
    EXPECT_EQ(GetOSName(), c.expected) << c.platform << " " << c.major << "." << c.minor << " " << c.servicePack;
  }
}

TEST_F(SysInfoTest, OSNameFallbacks) {
  // Only the basic record: no edition.
  Inject({2, 5, 1, 2600, "Service Pack 3", WS, 0, ""}, false);
  EXPECT_EQ(GetOSName(), "Microsoft Windows XP Service Pack 3 (Build 2600)");
  w32::OSVERSIONINFOEXA info{};
  EXPECT_TRUE(GetOSVersionInfo(info));
  EXPECT_EQ(info.dwOSVersionInfoSize, sizeof(w32::OSVERSIONINFOA));

  // Neither record: empty.
  w32::seam::VersionRecord refused{};
  refused.acceptExtended = refused.acceptBasic = false;
  w32::seam::InjectVersionRecord(refused);
  EXPECT_EQ(GetOSName(), "");
  EXPECT_FALSE(GetOSVersionInfo(info));
  EXPECT_EQ(info.dwOSVersionInfoSize, 0u);

  // Service Pack 6 with the hotfix key present.
  w32::seam::SetRegistryKeys({"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009"});
  Inject({2, 4, 0, 1381, "Service Pack 6", WS, 0, ""});
  EXPECT_EQ(GetOSName(), "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)");
  Inject({2, 5, 0, 2195, "Service Pack 6", WS, 0, ""});
  EXPECT_EQ(GetOSName(), "Microsoft Windows 2000 Professional Service Pack 6 (Build 2195)");

  // Not Windows at all: the kernel.
  const std::string kernel = w32::KernelNameAndRelease();
  EXPECT_FALSE(kernel.empty());
  Inject({0x10, 6, 1, 0, "", 0, 0, ""});
  EXPECT_EQ(GetOSName(), kernel);
  Inject({99, 6, 1, 0, "", 0, 0, ""});
  EXPECT_EQ(GetOSName(), kernel);
  w32::seam::InjectVersionRecord(std::nullopt);
  EXPECT_EQ(GetOSName(), kernel);
}

namespace {

// The brand text as leaves 0x80000002..0x80000004 hand it out.
void PutBrand(w32::seam::CpuidTable& table, const std::string& brand) {
  char bytes[48] = {};
  std::memcpy(bytes, brand.data(), brand.size() < 48 ? brand.size() : 48);
  for (w32::DWORD i = 0; i < 3; ++i) {
    std::array<w32::DWORD, 4> regs{};
    std::memcpy(regs.data(), bytes + 16 * i, 16);
    table.leaves[0x80000002u + i] = regs;
  }
}

constexpr w32::DWORD kCX8 = 1u << 8, kCMOV = 1u << 15, kMMX = 1u << 23, kSSE = 1u << 25, kSSE2 = 1u << 26;
constexpr w32::DWORD kMMX2 = 1u << 22, k3DNow = 1u << 31, k3DNow2 = 1u << 30;

struct CpuCase {
  bool available;
  w32::DWORD maxStandard, maxExtended, edx1, edxExt;
  std::string brand;
  std::string expected;
};

}  // namespace

TEST_F(SysInfoTest, ProcessorTextFromCpuid) {
  const CpuCase cases[] = {
      {true, 10, 0x80000008u, kMMX | kSSE | kSSE2 | kCX8, 0, "       Intel(R) Core(TM)2 Duo CPU  ",
       "Intel(R) Core(TM)2 Duo CPU (MMX SSE SSE2)"},
      {true, 1, 0x80000008u, kMMX | kSSE, kMMX2 | k3DNow | k3DNow2, "AMD Athlon(tm) XP",
       "AMD Athlon(tm) XP (MMX SSE MMX2 3DNow 3DNow2)"},
      {true, 1, 0x80000003u, kMMX | kSSE, 0, "never read", "(MMX SSE)"},
      {true, 1, 0x80000000u, kMMX, kMMX2, "never read", "(MMX)"},  // no extended leaf 1: no MMX2
      {true, 1, 0x80000004u, kCX8 | kCMOV, 0, "Plain CPU", "Plain CPU ()"},
      {true, 0, 0x80000004u, kMMX, 0, "Old CPU", "Old CPU"},  // no leaf 1: no features
      {true, 1, 0x80000004u, 0, 0, std::string(48, 'Z'), std::string(48, 'Z')},
      {false, 10, 0x80000008u, kMMX, 0, "hidden", ""},
  };
  for (const CpuCase& c : cases) {
    w32::seam::CpuidTable table;
    table.available = c.available;
    table.leaves[0] = {c.maxStandard, 0x756E6547u, 0x6C65746Eu, 0x49656E69u};  // "GenuineIntel"
    table.leaves[1] = {0x000006FBu, 0, 0, c.edx1};
    table.leaves[0x80000000u] = {c.maxExtended, 0, 0, 0};
    table.leaves[0x80000001u] = {0, 0, 0, c.edxExt};
    PutBrand(table, c.brand);
    w32::seam::InjectCpuid(table);
    TKeshLogEngine engine;
    EXPECT_EQ(engine.Processor, c.expected) << c.brand;
  }
}

TEST_F(SysInfoTest, CpuInfoRecord) {
  w32::seam::CpuidTable table;
  table.leaves[0] = {13, 0x756E6547u, 0x6C65746Eu, 0x49656E69u};
  table.leaves[1] = {0x000006FBu, 0, 0, kMMX};
  w32::seam::InjectCpuid(table);
  TCPUInfo info;
  GetCPUInfo(info);
  EXPECT_EQ(info.Vendor, "GenuineIntel");
  EXPECT_EQ(info.Family, 6);
  EXPECT_EQ(info.Model, 15);
  EXPECT_TRUE(info.Has(cfMMX));
  EXPECT_FALSE(info.Has(cfSSE));
  EXPECT_EQ(info.ProcessorCount, static_cast<uint8_t>(sysconf(_SC_NPROCESSORS_ONLN) & 0xFF));
  EXPECT_EQ(CPUID(1).EDX, kMMX);
}

TEST_F(SysInfoTest, MemoryAndDiskAreTheMachinesOwn) {
  TKeshLogEngine engine;
  const uint64_t total = static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  EXPECT_EQ(engine.TotalMemory, std::to_string(total >> 20) + " Mb");  // not capped at 4095
  ASSERT_GT(engine.FreeHDSpace.size(), 3u);
  EXPECT_EQ(engine.FreeHDSpace.substr(engine.FreeHDSpace.size() - 3), " Mb");
  EXPECT_EQ(engine.OS, w32::KernelNameAndRelease());
#if defined(__x86_64__) || defined(__i386__)
  EXPECT_FALSE(engine.Processor.empty());
#endif
}
