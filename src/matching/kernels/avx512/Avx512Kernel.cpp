// AVX-512 kernel: the nibble-table filters over 64 lanes per block, with the
// byte shuffle and byte masks of AVX-512BW. This file alone is compiled with
// -mavx512bw; it runs only where the processor has AVX-512F and AVX-512BW
// and the operating system saves the 512-bit registers.
#include "matching/kernels/Kernels.h"

#if TAVRIN_SCAN_X86
#include <immintrin.h>

#include "matching/kernels/BlockScan.h"

namespace Tavrin {
namespace scan {
namespace {

class Avx512Filter {
 public:
  static constexpr std::size_t kLanes = 64;
  static constexpr std::size_t kWidth = kWindowLength;
  static constexpr std::size_t kLead = kWindowLength - 2;

  explicit Avx512Filter(const ScanPatterns& patterns) : patterns_(patterns) {}

  std::uint64_t Candidates(const unsigned char* block) {
    static_assert(kWindowLength == 5, "the lookups below are written out");
    const NibbleTables<2>& pt = patterns_.pairs;
    const NibbleTables<kWindowLength>& wt = patterns_.windows;
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    __m512i low[kWindowLength], high[kWindowLength];
    Nibbles(block + 0, nibble, low[0], high[0]);
    Nibbles(block + 1, nibble, low[1], high[1]);
    Nibbles(block + 2, nibble, low[2], high[2]);
    Nibbles(block + 3, nibble, low[3], high[3]);
    Nibbles(block + 4, nibble, low[4], high[4]);
    // 0x80: the three-way AND.
    const __m512i pairs = _mm512_ternarylogic_epi64(
        _mm512_shuffle_epi8(_mm512_load_si512(pt.low[0]), low[3]),
        _mm512_shuffle_epi8(_mm512_load_si512(pt.high[0]), high[3]),
        Lookup(pt.low[1], pt.high[1], low[4], high[4]), 0x80);
    const __m512i front = _mm512_ternarylogic_epi64(
        Lookup(wt.low[0], wt.high[0], low[0], high[0]),
        Lookup(wt.low[1], wt.high[1], low[1], high[1]),
        Lookup(wt.low[2], wt.high[2], low[2], high[2]), 0x80);
    const __m512i windows = _mm512_ternarylogic_epi64(
        front, Lookup(wt.low[3], wt.high[3], low[3], high[3]),
        Lookup(wt.low[4], wt.high[4], low[4], high[4]), 0x80);
    const __m512i any = _mm512_or_si512(pairs, windows);
    const std::uint64_t lanes = _mm512_test_epi8_mask(any, any);
    if (lanes != 0) {
      _mm512_storeu_si512(pair_buckets_, pairs);
      _mm512_storeu_si512(window_buckets_, windows);
    }
    return lanes;
  }

  bool Confirm(const unsigned char* text, std::size_t length,
               std::ptrdiff_t base, std::uint64_t lanes) const {
    return AnyBucketRowMatches(patterns_, text, length, base, lanes,
                               pair_buckets_, window_buckets_);
  }

 private:
  static void Nibbles(const unsigned char* bytes, __m512i nibble,
                      __m512i& low, __m512i& high) {
    const __m512i loaded = _mm512_loadu_si512(bytes);
    low = _mm512_and_si512(loaded, nibble);
    high = _mm512_and_si512(_mm512_srli_epi16(loaded, 4), nibble);
  }
  static __m512i Lookup(const unsigned char* low_table,
                        const unsigned char* high_table, __m512i low,
                        __m512i high) {
    return _mm512_and_si512(
        _mm512_shuffle_epi8(_mm512_load_si512(low_table), low),
        _mm512_shuffle_epi8(_mm512_load_si512(high_table), high));
  }

  const ScanPatterns& patterns_;
  unsigned char pair_buckets_[kLanes];
  unsigned char window_buckets_[kLanes];
};

}  // namespace

bool ScanAvx512(const ScanPatterns& patterns, const unsigned char* text,
                std::size_t length) noexcept {
  return ScanBlocks<Avx512Filter>(patterns, text, length);
}

}  // namespace scan
}  // namespace Tavrin
#endif  // TAVRIN_SCAN_X86
