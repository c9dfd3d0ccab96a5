// SSSE3 UTF-8 to GBK conversion: Keiser and Lemire's check with the 16-byte
// byte shuffle, code points decoded 16 bytes at a time, and each
// character's GBK form looked up and written in turn (Utf8Blocks.h). This
// file is compiled with the kernel's -mssse3.
#include "matching/kernels/Utf8Blocks.h"
#include "matching/kernels/ssse3/Ssse3Vectors.h"

namespace Tavrin {
namespace Scan {
namespace {

struct Ssse3Utf8Ops : Ssse3Vectors {
  static constexpr bool kWholeBlocks = false;
  static Vector AtLeast(Vector v, std::uint8_t b) {
    return _mm_cmpeq_epi8(_mm_max_epu8(v, Byte(b)), v);
  }
  static std::uint64_t Join(std::uint64_t a, std::uint64_t b, std::uint64_t c,
                            std::uint64_t d) {
    return a | b << 16 | c << 32 | d << 48;
  }
  static std::uint64_t HighBits(const Vector* v) {
    return Join(static_cast<unsigned>(_mm_movemask_epi8(v[0])),
                static_cast<unsigned>(_mm_movemask_epi8(v[1])),
                static_cast<unsigned>(_mm_movemask_epi8(v[2])),
                static_cast<unsigned>(_mm_movemask_epi8(v[3])));
  }
  // 10xxxxxx: as signed bytes, below -64.
  static unsigned Continuations(Vector v) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(Byte(0xC0), v)));
  }
  static std::uint64_t Continuations(const Vector* v) {
    return Join(Continuations(v[0]), Continuations(v[1]), Continuations(v[2]),
                Continuations(v[3]));
  }
  template <int n>
  static Vector ShiftLeft(Vector v) {
    return AndByte(_mm_slli_epi16(v, n), static_cast<std::uint8_t>(0xFF << n));
  }
  template <int n>
  static Vector ShiftRight(Vector v) {
    return AndByte(_mm_srli_epi16(v, n), static_cast<std::uint8_t>(0xFF >> n));
  }
  static Vector Select(Vector mask, Vector a, Vector b) {
    return Or(And(mask, a), _mm_andnot_si128(mask, b));
  }
  static void StoreWords(Vector low, Vector high, std::uint16_t* words) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words), _mm_unpacklo_epi8(low, high));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 8), _mm_unpackhi_epi8(low, high));
  }
};

}  // namespace

TAVRIN_UTF8_KERNEL(Ssse3, Ssse3Utf8Ops)

}  // namespace Scan
}  // namespace Tavrin
