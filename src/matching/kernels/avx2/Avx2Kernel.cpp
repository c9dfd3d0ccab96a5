// AVX2 kernel: the nibble-table filter over 32 windows per block. This file
// alone is compiled with -mavx2; it runs only where the processor and the
// operating system support AVX2.
#include "matching/kernels/Kernels.h"

#include <immintrin.h>

#include "matching/kernels/BlockScan.h"
#include "matching/kernels/NibbleFilter.h"

namespace Tavrin {
namespace Scan {
namespace {

struct Avx2Ops {
  using Vector = __m256i;
  static constexpr std::size_t kLanes = 32;
  // 16 registers cannot hold 24 tables beside a block's own vectors.
  static constexpr bool kHoldTables = false;
  // Whether the mixed filter takes two stages (see NibbleFilter).
  static constexpr bool kTwoStage = true;
  static Vector Load(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  static Vector LoadTable(const unsigned char* p) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
  }
  static Vector Nibble() { return _mm256_set1_epi8(0x0F); }
  static Vector And(Vector a, Vector b) { return _mm256_and_si256(a, b); }
  static Vector Or(Vector a, Vector b) { return _mm256_or_si256(a, b); }
  static Vector And3(Vector a, Vector b, Vector c) { return And(And(a, b), c); }
  static Vector Shuffle(Vector table, Vector index) {
    return _mm256_shuffle_epi8(table, index);
  }
  static Vector High(Vector bytes) {
    return And(_mm256_srli_epi16(bytes, 4), Nibble());
  }
  static std::uint64_t NonZero(Vector v) {
    const __m256i zero = _mm256_cmpeq_epi8(v, _mm256_setzero_si256());
    return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(zero));
  }
  static bool IsZero(Vector v) { return _mm256_testz_si256(v, v) != 0; }
  static Vector BothNonZero(Vector a, Vector b) { return _mm256_min_epu8(a, b); }
  // Across the two 16-byte lanes: the low lane, moved into the high one
  // below zeros, supplies the bytes that cross.
  static Vector ShiftUp(Vector v, std::size_t n) {
    const __m256i below = _mm256_permute2x128_si256(v, v, 0x08);
    switch (n) {
      case 1: return _mm256_alignr_epi8(v, below, 15);
      case 2: return _mm256_alignr_epi8(v, below, 14);
      default: return _mm256_alignr_epi8(v, below, 13);
    }
  }
  // Every byte 0x80 or more: every byte's top bit set.
  static bool AllHigh(Vector v) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(v)) == 0xFFFFFFFFu;
  }
};

struct Avx2Filter : NibbleFilter<Avx2Ops> {
  using NibbleFilter<Avx2Ops>::NibbleFilter;
  static constexpr bool kMaskedEdges = false;
};

}  // namespace

TAVRIN_BLOCK_KERNEL(Avx2, Avx2Filter)

}  // namespace Scan
}  // namespace Tavrin
