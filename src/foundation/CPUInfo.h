// The processor as the log header describes it: the brand text and the multimedia feature
// flags, read with the CPUID instruction (through the win32 stand-in, which also lets tests
// supply the answers). Nothing here reports errors: without CPUID the texts stay empty.
#pragma once

#include <cstdint>
#include <string>

enum TCPUFeature : uint8_t { cfCX8, cfCMOV, cfMMX, cfMMX2, cfSSE, cfSSE2, cf3DNow, cf3DNow2 };

struct TCPUInfo {
  std::string Vendor;         // up to 12 characters: EBX, EDX, ECX of leaf 0
  uint8_t Features = 0;       // bit n set for TCPUFeature n
  uint8_t ProcessorCount = 0;
  uint8_t Family = 0;
  uint8_t Model = 0;

  bool Has(TCPUFeature feature) const { return (Features >> feature) & 1u; }
};

struct TCPUIDResult {
  uint32_t EAX;
  uint32_t EDX;
};

bool IsCPUIDAvailable();
// The brand text of leaves 0x80000002..0x80000004 up to its first zero byte; empty when the
// processor does not offer those leaves.
std::string GetCPUName();
// Fills Vendor; returns the highest standard leaf.
uint32_t GetCPUVendor(TCPUInfo& info);
void GetCPUInfo(TCPUInfo& info);
TCPUIDResult CPUID(uint32_t leaf);
