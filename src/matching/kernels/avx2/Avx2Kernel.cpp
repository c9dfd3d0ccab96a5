// AVX2 kernel: the nibble-table filters over 32 starts per block. This file
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
  static constexpr std::size_t kWidth = kWindowLength;
  static constexpr std::size_t kLead = kWindowLength - 2;

  explicit Avx2Filter(const ScanPatterns& patterns) : patterns_(patterns) {}

  std::uint64_t Candidates(const unsigned char* block) {
    static_assert(kWindowLength == 5, "the lookups below are written out");
    const NibbleTables<2>& pt = patterns_.pairs;
    const NibbleTables<kWindowLength>& wt = patterns_.windows;
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i low[kWindowLength], high[kWindowLength];
    Nibbles(block + 0, nibble, low[0], high[0]);
    Nibbles(block + 1, nibble, low[1], high[1]);
    Nibbles(block + 2, nibble, low[2], high[2]);
    Nibbles(block + 3, nibble, low[3], high[3]);
    Nibbles(block + 4, nibble, low[4], high[4]);
    const __m256i pairs =
        _mm256_and_si256(Lookup(pt.low[0], pt.high[0], low[3], high[3]),
                         Lookup(pt.low[1], pt.high[1], low[4], high[4]));
    const __m256i windows = _mm256_and_si256(
        _mm256_and_si256(
            Lookup(wt.low[0], wt.high[0], low[0], high[0]),
            Lookup(wt.low[1], wt.high[1], low[1], high[1])),
        _mm256_and_si256(
            Lookup(wt.low[2], wt.high[2], low[2], high[2]),
            _mm256_and_si256(
                Lookup(wt.low[3], wt.high[3], low[3], high[3]),
                Lookup(wt.low[4], wt.high[4], low[4], high[4]))));
    const __m256i none = _mm256_cmpeq_epi8(_mm256_or_si256(pairs, windows),
                                           _mm256_setzero_si256());
    const std::uint32_t lanes =
        ~static_cast<std::uint32_t>(_mm256_movemask_epi8(none));
    if (lanes != 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(pair_buckets_), pairs);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(window_buckets_), windows);
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
  static void Nibbles(const unsigned char* bytes, __m256i nibble, __m256i& low,
                      __m256i& high) {
    const __m256i loaded =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    low = _mm256_and_si256(loaded, nibble);
    high = _mm256_and_si256(_mm256_srli_epi16(loaded, 4), nibble);
  }
  // The buckets whose nibble sets at this position hold both nibbles.
  static __m256i Lookup(const unsigned char* low_table,
                        const unsigned char* high_table, __m256i low,
                        __m256i high) {
    return _mm256_and_si256(
        _mm256_shuffle_epi8(_mm256_load_si256(reinterpret_cast<const __m256i*>(low_table)), low),
        _mm256_shuffle_epi8(_mm256_load_si256(reinterpret_cast<const __m256i*>(high_table)), high));
  }

  const ScanPatterns& patterns_;
  unsigned char pair_buckets_[kLanes];
  unsigned char window_buckets_[kLanes];
};

}  // namespace

bool ScanAvx2(const ScanPatterns& patterns, const unsigned char* text,
              std::size_t length) noexcept {
  return ScanBlocks<Avx2Filter>(patterns, text, length);
}

}  // namespace scan
}  // namespace Tavrin
#endif  // TAVRIN_SCAN_X86
