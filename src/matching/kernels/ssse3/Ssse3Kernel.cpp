// SSSE3 kernel: the nibble-table filter over 16 starts per block, with the
// byte shuffle SSSE3 brought. This file alone is compiled with -mssse3; it
// runs only where the processor has SSSE3.
#include "matching/kernels/Kernels.h"

#if TAVRIN_SCAN_X86
#include <tmmintrin.h>

#include "matching/kernels/BlockScan.h"

namespace Tavrin {
namespace scan {
namespace {

class Ssse3Filter {
 public:
  static constexpr std::size_t kLanes = 16;

  explicit Ssse3Filter(const ScanPatterns& patterns) {
    for (std::size_t k = 0; k < kFingerprintLength; ++k) {
      low_[k] = _mm_load_si128(
          reinterpret_cast<const __m128i*>(patterns.teddy_low[k]));
      high_[k] = _mm_load_si128(
          reinterpret_cast<const __m128i*>(patterns.teddy_high[k]));
    }
  }

  std::uint32_t Candidates(const unsigned char* window) const {
    const __m128i nibble = _mm_set1_epi8(0x0F);
    __m128i buckets = _mm_set1_epi8(-1);
    for (std::size_t k = 0; k < kFingerprintLength; ++k) {
      const __m128i bytes =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + k));
      const __m128i low = _mm_and_si128(bytes, nibble);
      const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble);
      buckets = _mm_and_si128(
          buckets, _mm_and_si128(_mm_shuffle_epi8(low_[k], low),
                                 _mm_shuffle_epi8(high_[k], high)));
    }
    const __m128i empty = _mm_cmpeq_epi8(buckets, _mm_setzero_si128());
    return ~static_cast<std::uint32_t>(_mm_movemask_epi8(empty)) & 0xFFFFu;
  }

 private:
  __m128i low_[kFingerprintLength];
  __m128i high_[kFingerprintLength];
};

}  // namespace

bool ScanSsse3(const ScanPatterns& patterns, const unsigned char* text,
               std::size_t length) noexcept {
  return ScanBlocks<Ssse3Filter>(patterns, text, length);
}

}  // namespace scan
}  // namespace Tavrin
#endif  // TAVRIN_SCAN_X86
