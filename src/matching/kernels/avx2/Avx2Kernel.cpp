// AVX2 kernel: the nibble-table filter over 32 starts per block. This file
// alone is compiled with -mavx2; it runs only where the processor and the
// operating system support AVX2.
#include "matching/kernels/Kernels.h"

#if TAVRIN_SCAN_X86
#include <immintrin.h>

#include "matching/kernels/BlockScan.h"

namespace Tavrin {
namespace scan {
namespace {

class Avx2Filter {
 public:
  static constexpr std::size_t kLanes = 32;

  explicit Avx2Filter(const ScanPatterns& patterns) {
    for (std::size_t k = 0; k < kFingerprintLength; ++k) {
      low_[k] = _mm256_broadcastsi128_si256(_mm_load_si128(
          reinterpret_cast<const __m128i*>(patterns.teddy_low[k])));
      high_[k] = _mm256_broadcastsi128_si256(_mm_load_si128(
          reinterpret_cast<const __m128i*>(patterns.teddy_high[k])));
    }
  }

  // Bit i: every fingerprint byte of some bucket accepts window[i + k].
  std::uint32_t Candidates(const unsigned char* window) const {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i buckets = _mm256_set1_epi8(-1);
    for (std::size_t k = 0; k < kFingerprintLength; ++k) {
      const __m256i bytes = _mm256_loadu_si256(
          reinterpret_cast<const __m256i*>(window + k));
      const __m256i low = _mm256_and_si256(bytes, nibble);
      const __m256i high =
          _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble);
      buckets = _mm256_and_si256(
          buckets, _mm256_and_si256(_mm256_shuffle_epi8(low_[k], low),
                                    _mm256_shuffle_epi8(high_[k], high)));
    }
    const __m256i empty =
        _mm256_cmpeq_epi8(buckets, _mm256_setzero_si256());
    return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(empty));
  }

 private:
  __m256i low_[kFingerprintLength];
  __m256i high_[kFingerprintLength];
};

}  // namespace

bool ScanAvx2(const ScanPatterns& patterns, const unsigned char* text,
              std::size_t length) noexcept {
  return ScanBlocks<Avx2Filter>(patterns, text, length);
}

}  // namespace scan
}  // namespace Tavrin
#endif  // TAVRIN_SCAN_X86
