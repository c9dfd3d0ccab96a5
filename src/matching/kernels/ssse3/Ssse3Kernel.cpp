// SSSE3 kernel: the nibble-table filter over 16 windows per block, with the
// byte shuffle SSSE3 brought. This file alone is compiled with -mssse3; it
// runs only where the processor has SSSE3.
#include "matching/kernels/Kernels.h"

#include <tmmintrin.h>

#include "matching/kernels/BlockScan.h"
#include "matching/kernels/NibbleFilter.h"

namespace Tavrin {
namespace Scan {
namespace {

struct Ssse3Ops {
  using Vector = __m128i;
  static constexpr std::size_t kLanes = 16;
  // 16 registers cannot hold 24 tables beside a block's own vectors.
  static constexpr bool kHoldTables = false;
  // Whether the mixed filter takes two stages (see NibbleFilter).
  static constexpr bool kTwoStage = true;
  static Vector Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  static Vector LoadTable(const unsigned char* p) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
  }
  static Vector Nibble() { return _mm_set1_epi8(0x0F); }
  static Vector And(Vector a, Vector b) { return _mm_and_si128(a, b); }
  static Vector Or(Vector a, Vector b) { return _mm_or_si128(a, b); }
  static Vector And3(Vector a, Vector b, Vector c) { return And(And(a, b), c); }
  static Vector Shuffle(Vector table, Vector index) {
    return _mm_shuffle_epi8(table, index);
  }
  static Vector High(Vector bytes) {
    return And(_mm_srli_epi16(bytes, 4), Nibble());
  }
  static std::uint64_t NonZero(Vector v) {
    const __m128i zero = _mm_cmpeq_epi8(v, _mm_setzero_si128());
    return ~static_cast<std::uint32_t>(_mm_movemask_epi8(zero)) & 0xFFFFu;
  }
  static bool IsZero(Vector v) {  // ptest is SSE4.1
    return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF;
  }
  static Vector BothNonZero(Vector a, Vector b) { return _mm_min_epu8(a, b); }
  static Vector ShiftUp(Vector v, std::size_t n) {
    switch (n) {
      case 1: return _mm_slli_si128(v, 1);
      case 2: return _mm_slli_si128(v, 2);
      default: return _mm_slli_si128(v, 3);
    }
  }
  // Every byte 0x80 or more: every byte's top bit set.
  static bool AllHigh(Vector v) { return _mm_movemask_epi8(v) == 0xFFFF; }
};

struct Ssse3Filter : NibbleFilter<Ssse3Ops> {
  using NibbleFilter<Ssse3Ops>::NibbleFilter;
  static constexpr bool kMaskedEdges = false;
};

}  // namespace

TAVRIN_BLOCK_KERNEL(Ssse3, Ssse3Filter)

}  // namespace Scan
}  // namespace Tavrin
