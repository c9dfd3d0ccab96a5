// SSSE3 kernel: the nibble-table filter over 16 windows per block, with the
// byte shuffle SSSE3 brought. This file alone is compiled with -mssse3; it
// runs only where the processor has SSSE3.
#include "matching/kernels/Kernels.h"

#include "matching/kernels/BlockScan.h"
#include "matching/kernels/NibbleFilter.h"
#include "matching/kernels/ssse3/Ssse3Vectors.h"

namespace Tavrin {
namespace Scan {
namespace {

struct Ssse3Ops : Ssse3Vectors {
  // 16 registers cannot hold 24 tables beside a block's own vectors.
  static constexpr bool kHoldTables = false;
  // Whether the mixed filter takes two stages (see NibbleFilter).
  static constexpr bool kTwoStage = true;
  // No byte lookup of 128 entries: the high-run filter goes by nibbles.
  static constexpr bool kHighByteTables = false;
  static Vector And3(Vector a, Vector b, Vector c) { return And(And(a, b), c); }
  static std::uint64_t NonZero(Vector v) {
    const __m128i zero = _mm_cmpeq_epi8(v, _mm_setzero_si128());
    return ~static_cast<std::uint32_t>(_mm_movemask_epi8(zero)) & 0xFFFFu;
  }
  static Vector BothNonZero(Vector a, Vector b) { return _mm_min_epu8(a, b); }
};

struct Ssse3Filter : NibbleFilter<Ssse3Ops> {
  using NibbleFilter<Ssse3Ops>::NibbleFilter;
  static constexpr bool kMaskedEdges = false;
};

}  // namespace

TAVRIN_BLOCK_KERNEL(Ssse3, Ssse3Filter)

}  // namespace Scan
}  // namespace Tavrin
