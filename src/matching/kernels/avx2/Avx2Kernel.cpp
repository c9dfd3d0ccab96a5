// AVX2 kernel: the nibble-table filter over 32 windows per block. This file
// alone is compiled with -mavx2; it runs only where the processor and the
// operating system support AVX2.
#include "matching/kernels/Kernels.h"

#include "matching/kernels/BlockScan.h"
#include "matching/kernels/NibbleFilter.h"
#include "matching/kernels/avx2/Avx2Vectors.h"

namespace Tavrin {
namespace Scan {
namespace {

struct Avx2Ops : Avx2Vectors {
  // 16 registers cannot hold 24 tables beside a block's own vectors.
  static constexpr bool kHoldTables = false;
  // Whether the mixed filter takes two stages (see NibbleFilter).
  static constexpr bool kTwoStage = true;
  // No byte lookup of 128 entries: the high-run filter goes by nibbles.
  static constexpr bool kHighByteTables = false;
  static Vector And3(Vector a, Vector b, Vector c) { return And(And(a, b), c); }
  static std::uint64_t NonZero(Vector v) {
    const __m256i zero = _mm256_cmpeq_epi8(v, _mm256_setzero_si256());
    return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(zero));
  }
  static Vector BothNonZero(Vector a, Vector b) { return _mm256_min_epu8(a, b); }
};

struct Avx2Filter : NibbleFilter<Avx2Ops> {
  using NibbleFilter<Avx2Ops>::NibbleFilter;
  static constexpr bool kMaskedEdges = false;
};

}  // namespace

TAVRIN_BLOCK_KERNEL(Avx2, Avx2Filter)

}  // namespace Scan
}  // namespace Tavrin
