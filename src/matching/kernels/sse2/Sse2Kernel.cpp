// SSE2 kernel, for x86 processors without SSSE3's byte shuffle: it compares
// 16 starts at once with the first two bytes of every row, grouped by first
// byte, a letter matching either case through its fold bit. This file alone is compiled with -msse2; on 32-bit
// x86 it runs only where the processor has SSE2.
#include "matching/kernels/Kernels.h"

#if TAVRIN_SCAN_X86
#include <emmintrin.h>

#include "matching/kernels/BlockScan.h"

namespace Tavrin {
namespace scan {
namespace {

class Sse2Filter {
 public:
  static constexpr std::size_t kLanes = 16;
  static constexpr std::size_t kWidth = 2;  // a row's first two bytes
  static constexpr bool kMaskedEdges = false;
  static constexpr std::size_t kLead = 0;

  explicit Sse2Filter(const ScanPatterns& patterns) : patterns_(patterns) {}

  std::uint64_t Candidates(const unsigned char* window) const {
    const __m128i first =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(window));
    const __m128i second =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 1));
    __m128i any = _mm_setzero_si128();
    for (std::size_t f = 0; f < patterns_.pair_first_count; ++f) {
      const __m128i starts = Equal(first, patterns_.pair_first[f],
                                   patterns_.pair_first_fold_bits[f]);
      if (_mm_movemask_epi8(starts) == 0) continue;
      __m128i follows = _mm_setzero_si128();
      for (std::size_t s = patterns_.pair_second_begin[f];
           s < patterns_.pair_second_begin[f + 1]; ++s) {
        follows = _mm_or_si128(
            follows, Equal(second, patterns_.pair_second[s],
                           patterns_.pair_second_fold_bits[s]));
      }
      any = _mm_or_si128(any, _mm_and_si128(starts, follows));
    }
    return static_cast<std::uint32_t>(_mm_movemask_epi8(any));
  }

  bool CandidatesInPlace(const unsigned char* text, std::ptrdiff_t base,
                         std::size_t count, std::uint64_t* lanes) {
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < count; ++i) {
      lanes[i] = Candidates(text + base + i * kLanes);
      any |= lanes[i];
    }
    return any != 0;
  }

  bool Confirm(const unsigned char* text, std::size_t length,
               std::ptrdiff_t base, std::uint64_t lanes) const {
    return AnyRowMatchesAt(patterns_, text, length, base, lanes);
  }

 private:
  // Lanes whose byte t has (t | fold_bit) == folded: FoldAsciiCase(t) ==
  // folded, as for ScanRow.
  static __m128i Equal(__m128i bytes, unsigned char folded,
                       unsigned char fold_bit) {
    return _mm_cmpeq_epi8(
        _mm_or_si128(bytes, _mm_set1_epi8(static_cast<char>(fold_bit))),
        _mm_set1_epi8(static_cast<char>(folded)));
  }

  const ScanPatterns& patterns_;
};

}  // namespace

bool ScanSse2(const ScanPatterns& patterns, const unsigned char* text,
              std::size_t length) noexcept {
  return ScanBlocks<Sse2Filter>(patterns, text, length);
}

}  // namespace scan
}  // namespace Tavrin
#endif  // TAVRIN_SCAN_X86
