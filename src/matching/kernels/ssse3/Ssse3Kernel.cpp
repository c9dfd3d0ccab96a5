// SSSE3 kernel: the nibble-table filters over 16 starts per block, with the
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
  static constexpr std::size_t kWidth = kWindowLength;
  static constexpr std::size_t kLead = kWindowLength - 2;

  explicit Ssse3Filter(const ScanPatterns& patterns) : patterns_(patterns) {}

  std::uint64_t Candidates(const unsigned char* block) {
    static_assert(kWindowLength == 5, "the lookups below are written out");
    const NibbleTables<2>& pt = patterns_.pairs;
    const NibbleTables<kWindowLength>& wt = patterns_.windows;
    const __m128i nibble = _mm_set1_epi8(0x0F);
    __m128i low[kWindowLength], high[kWindowLength];
    Nibbles(block + 0, nibble, low[0], high[0]);
    Nibbles(block + 1, nibble, low[1], high[1]);
    Nibbles(block + 2, nibble, low[2], high[2]);
    Nibbles(block + 3, nibble, low[3], high[3]);
    Nibbles(block + 4, nibble, low[4], high[4]);
    const __m128i pairs =
        _mm_and_si128(Lookup(pt.low[0], pt.high[0], low[3], high[3]),
                         Lookup(pt.low[1], pt.high[1], low[4], high[4]));
    const __m128i windows = _mm_and_si128(
        _mm_and_si128(
            Lookup(wt.low[0], wt.high[0], low[0], high[0]),
            Lookup(wt.low[1], wt.high[1], low[1], high[1])),
        _mm_and_si128(
            Lookup(wt.low[2], wt.high[2], low[2], high[2]),
            _mm_and_si128(
                Lookup(wt.low[3], wt.high[3], low[3], high[3]),
                Lookup(wt.low[4], wt.high[4], low[4], high[4]))));
    const __m128i none = _mm_cmpeq_epi8(_mm_or_si128(pairs, windows),
                                           _mm_setzero_si128());
    const std::uint32_t lanes =
        ~static_cast<std::uint32_t>(_mm_movemask_epi8(none)) & 0xFFFFu;
    if (lanes != 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(pair_buckets_), pairs);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(window_buckets_), windows);
    }
    return lanes;
  }

  bool Confirm(const unsigned char* text, std::size_t length,
               std::ptrdiff_t base, std::uint64_t lanes) const {
    return AnyBucketRowMatches(patterns_, text, length, base, lanes,
                               pair_buckets_, window_buckets_);
  }

 private:
  // The low and high nibbles of the bytes at `bytes`, each in a byte.
  static void Nibbles(const unsigned char* bytes, __m128i nibble, __m128i& low,
                      __m128i& high) {
    const __m128i loaded =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    low = _mm_and_si128(loaded, nibble);
    high = _mm_and_si128(_mm_srli_epi16(loaded, 4), nibble);
  }
  // The buckets whose nibble sets at this position hold both nibbles.
  static __m128i Lookup(const unsigned char* low_table,
                        const unsigned char* high_table, __m128i low,
                        __m128i high) {
    return _mm_and_si128(
        _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(low_table)), low),
        _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(high_table)), high));
  }

  const ScanPatterns& patterns_;
  unsigned char pair_buckets_[kLanes];
  unsigned char window_buckets_[kLanes];
};

}  // namespace

bool ScanSsse3(const ScanPatterns& patterns, const unsigned char* text,
              std::size_t length) noexcept {
  return ScanBlocks<Ssse3Filter>(patterns, text, length);
}

}  // namespace scan
}  // namespace Tavrin
#endif  // TAVRIN_SCAN_X86
