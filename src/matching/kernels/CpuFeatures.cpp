#include "matching/kernels/CpuFeatures.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#define TAVRIN_CPUID 1
#endif

namespace Tavrin {
namespace Scan {

CpuFeatureSet DetectCpuFeatures() noexcept {
  CpuFeatureSet features = 0;
#if defined(TAVRIN_CPUID)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return features;
  if (ecx & bit_SSSE3) features |= CpuFeature::kSsse3;
  if (ecx & bit_POPCNT) features |= CpuFeature::kPopcnt;
  // AVX2 needs the operating system to save the 256-bit registers too:
  // XCR0 bits 1 (SSE state) and 2 (AVX state), readable when OSXSAVE is set;
  // AVX-512 also bits 5 to 7 (mask registers, upper halves, upper 16).
  if ((ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0) return features;
  unsigned xcr0_low = 0, xcr0_high = 0;
  __asm__ __volatile__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  if ((xcr0_low & 0x6u) != 0x6u || __get_cpuid_max(0, nullptr) < 7)
    return features;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  if (ebx & (1u << 5)) features |= CpuFeature::kAvx2;
  // Read here, past the AVX checks: only code that also needs AVX-512 asks.
  if (ebx & (1u << 3)) features |= CpuFeature::kBmi1;
  if ((xcr0_low & 0xE6u) == 0xE6u) {
    if (ebx & (1u << 16)) features |= CpuFeature::kAvx512f;
    if (ebx & (1u << 30)) features |= CpuFeature::kAvx512bw;
    if (ecx & (1u << 1)) features |= CpuFeature::kAvx512vbmi;
    if (ecx & (1u << 6)) features |= CpuFeature::kAvx512_vbmi2;
  }
#elif defined(__aarch64__) || defined(_M_ARM64)
  features |= CpuFeature::kAsimd;  // mandatory in ARMv8-A
#endif
  return features;
}

}  // namespace Scan
}  // namespace Tavrin
