// Which vector instructions the device's kernels may use. x86 intrinsics compile only for x86
// targets and only while the build allows them (QUORREL_SIMD=OFF compiles none at all, so that
// the portable paths behind them can be proven by the whole suite); which kernel runs is then
// chosen at run time by what the processor has.
#pragma once

#if (defined(__x86_64__) || defined(__i386__)) && !defined(QUORREL_NO_SIMD)
#define QUORREL_X86_SIMD 1
#else
#define QUORREL_X86_SIMD 0
#endif

namespace platform::d3d9 {

inline bool CpuHasAvx2() {
#if QUORREL_X86_SIMD
  static const bool yes = __builtin_cpu_supports("avx2");
  return yes;
#else
  return false;
#endif
}

inline bool CpuHasAvx512bw() {
#if QUORREL_X86_SIMD
  static const bool yes = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vl");
  return yes;
#else
  return false;
#endif
}

// A hint to the core that the thread is spinning.
inline void CpuRelax() {
#if QUORREL_X86_SIMD
  __builtin_ia32_pause();
#endif
}

}  // namespace platform::d3d9
