// The processor features the scan kernels need, and their detection on the
// running processor. Each is named after the flag Linux shows for it in
// /proc/cpuinfo (kAvx512bw: "avx512bw"), as the kernel list names them.
#ifndef TAVRIN_MATCHING_KERNELS_CPUFEATURES_H_
#define TAVRIN_MATCHING_KERNELS_CPUFEATURES_H_

#include <cstdint>

namespace Tavrin {
namespace Scan {

// A set of features, a bit each.
using CpuFeatureSet = std::uint32_t;

namespace CpuFeature {
enum : CpuFeatureSet {
  kNone = 0,
  kSsse3 = 1u << 0,
  kAvx2 = 1u << 1,
  kAvx512f = 1u << 2,
  kAvx512bw = 1u << 3,
  kAsimd = 1u << 4,  // aarch64 Advanced SIMD (NEON)
  kPopcnt = 1u << 5,
  kBmi1 = 1u << 6,
  kAvx512_vbmi2 = 1u << 7,  // Linux's name has the underscore
  kAvx512vbmi = 1u << 8,
};
}  // namespace CpuFeature

// The features of the processor this runs on that the operating system also
// supports (it saves the registers they use). Reads CPUID on x86; on aarch64
// Advanced SIMD is always there.
CpuFeatureSet DetectCpuFeatures() noexcept;

}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_CPUFEATURES_H_
