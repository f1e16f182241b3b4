// CPUID decoding for the log header's processor line.
#include "foundation/CPUInfo.h"

#include <cstring>

#include "platform/win32/win32_system.h"

namespace w32 = platform::win32;

namespace {

void SetFeature(TCPUInfo& info, TCPUFeature feature, uint32_t reg, int bit) {
  if ((reg >> bit) & 1u) info.Features = static_cast<uint8_t>(info.Features | (1u << feature));
}

}  // namespace

bool IsCPUIDAvailable() { return w32::CpuidAvailable(); }

TCPUIDResult CPUID(uint32_t leaf) {
  auto regs = w32::Cpuid(leaf);
  return {regs[0], regs[3]};
}

std::string GetCPUName() {
  if (!IsCPUIDAvailable()) return {};
  if (w32::Cpuid(0x80000000u)[0] < 0x80000004u) return {};
  char brand[49] = {};
  for (uint32_t i = 0; i < 3; ++i) {
    auto regs = w32::Cpuid(0x80000002u + i);
    std::memcpy(brand + i * 16, regs.data(), 16);  // EAX, EBX, ECX, EDX in that order
  }
  return std::string(brand);  // up to the first zero byte
}

uint32_t GetCPUVendor(TCPUInfo& info) {
  auto regs = w32::Cpuid(0);
  char vendor[13] = {};
  std::memcpy(vendor, &regs[1], 4);
  std::memcpy(vendor + 4, &regs[3], 4);
  std::memcpy(vendor + 8, &regs[2], 4);
  info.Vendor = vendor;
  return regs[0];
}

void GetCPUInfo(TCPUInfo& info) {
  try {
    if (IsCPUIDAvailable() && GetCPUVendor(info) > 0) {
      auto leaf1 = w32::Cpuid(1);
      info.Family = static_cast<uint8_t>((leaf1[0] >> 8) & 0xF);
      info.Model = static_cast<uint8_t>((leaf1[0] >> 4) & 0xF);
      const uint32_t edx = leaf1[3];
      SetFeature(info, cfCX8, edx, 8);
      SetFeature(info, cfCMOV, edx, 15);
      SetFeature(info, cfMMX, edx, 23);
      SetFeature(info, cfSSE, edx, 25);
      SetFeature(info, cfSSE2, edx, 26);
      if (w32::Cpuid(0x80000000u)[0] > 0x80000000u) {
        const uint32_t ext = w32::Cpuid(0x80000001u)[3];
        SetFeature(info, cfMMX2, ext, 22);
        SetFeature(info, cf3DNow, ext, 31);
        SetFeature(info, cf3DNow2, ext, 30);
      }
    }
    w32::SYSTEM_INFO system{};
    w32::GetSystemInfo(&system);
    info.ProcessorCount = static_cast<uint8_t>(system.dwNumberOfProcessors & 0xFF);
  } catch (...) {
    // The record keeps what was filled so far.
  }
}
