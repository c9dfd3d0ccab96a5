// AVX-512 kernel: the nibble-table filter over 64 lanes per block, with the
// byte shuffle and byte masks of AVX-512BW. This file alone is compiled with
// -mavx512bw; it runs only where the processor has AVX-512F and AVX-512BW
// and the operating system saves the 512-bit registers.
#include "matching/kernels/Kernels.h"

#if TAVRIN_SCAN_X86
#include <immintrin.h>

#include "matching/kernels/BlockScan.h"
#include "matching/kernels/NibbleFilter.h"

namespace Tavrin {
namespace scan {
namespace {

struct Avx512Ops {
  using Vector = __m512i;
  static constexpr std::size_t kLanes = 64;
  static Vector Load(const unsigned char* p) { return _mm512_loadu_si512(p); }
  static Vector LoadTable(const unsigned char* p) {
    return _mm512_load_si512(p);
  }
  static Vector Nibble() { return _mm512_set1_epi8(0x0F); }
  static Vector And(Vector a, Vector b) { return _mm512_and_si512(a, b); }
  static Vector Or(Vector a, Vector b) { return _mm512_or_si512(a, b); }
  // 0x80: the truth table of a & b & c.
  static Vector And3(Vector a, Vector b, Vector c) {
    return _mm512_ternarylogic_epi64(a, b, c, 0x80);
  }
  static Vector Shuffle(Vector table, Vector index) {
    return _mm512_shuffle_epi8(table, index);
  }
  static Vector High(Vector bytes) {
    return And(_mm512_srli_epi16(bytes, 4), Nibble());
  }
  static std::uint64_t NonZero(Vector v) { return _mm512_test_epi8_mask(v, v); }
  static Vector KeepWhereNonZero(Vector where, Vector v) {
    return _mm512_maskz_mov_epi8(_mm512_test_epi8_mask(where, where), v);
  }
};

class Avx512Filter : public NibbleFilter<Avx512Ops> {
 public:
  using NibbleFilter<Avx512Ops>::NibbleFilter;
  // Masked loads: bytes outside the text are neither read nor faulted on.
  static constexpr bool kMaskedEdges = true;

  // The block at text + base, which may begin before the text or end after
  // it: each byte outside text[0 .. length) is masked off, so it is not
  // read (and cannot fault) and counts as zero. The addresses are formed as
  // integers, as they may lie outside the text.
  std::uint64_t CandidatesAtEdge(const unsigned char* text, std::size_t length,
                                 std::ptrdiff_t base) {
    // Bit j of `inside` (j < 64) and of `inside_beyond` (j - 64): whether
    // byte base + j is in the text. The load from offset k takes bits
    // k .. k + 63 of the two.
    const std::ptrdiff_t first = -base;  // bytes before it are outside
    const std::ptrdiff_t end = static_cast<std::ptrdiff_t>(length) - base;
    const std::uint64_t inside = LowBits(end) & ~LowBits(first);
    const std::uint64_t inside_beyond = LowBits(end - 64) & ~LowBits(first - 64);
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(text) +
                              static_cast<std::uintptr_t>(base);
    const Tables tables(patterns_);
    return Lanes(tables, MaskedLoad(at, inside),
                 MaskedLoad(at + 1, inside >> 1 | inside_beyond << 63),
                 MaskedLoad(at + 2, inside >> 2 | inside_beyond << 62),
                 MaskedLoad(at + 3, inside >> 3 | inside_beyond << 61),
                 MaskedLoad(at + 4, inside >> 4 | inside_beyond << 60));
  }

 private:
  static __m512i MaskedLoad(std::uintptr_t address, std::uint64_t mask) {
    return _mm512_maskz_loadu_epi8(mask,
                                   reinterpret_cast<const void*>(address));
  }
};

}  // namespace

bool ScanAvx512(const ScanPatterns& patterns, const unsigned char* text,
                std::size_t length) noexcept {
  return ScanBlocks<Avx512Filter>(patterns, text, length);
}

}  // namespace scan
}  // namespace Tavrin
#endif  // TAVRIN_SCAN_X86
