// AVX2 UTF-8 to GBK conversion: Keiser and Lemire's check with the byte
// shuffle in each 16-byte lane, code points decoded 32 bytes at a time, and
// each character's GBK form looked up and written in turn (Utf8Blocks.h).
// This file is compiled with the kernel's -mavx2.
#include "matching/kernels/Utf8Blocks.h"
#include "matching/kernels/avx2/Avx2Vectors.h"

namespace Tavrin {
namespace Scan {
namespace {

struct Avx2Utf8Ops : Avx2Vectors {
  static constexpr bool kWholeBlocks = false;
  static Vector AtLeast(Vector v, std::uint8_t b) {
    return _mm256_cmpeq_epi8(_mm256_max_epu8(v, Byte(b)), v);
  }
  static std::uint64_t Join(std::uint64_t a, std::uint64_t b) { return a | b << 32; }
  static std::uint64_t HighBits(const Vector* v) {
    return Join(static_cast<std::uint32_t>(_mm256_movemask_epi8(v[0])),
                static_cast<std::uint32_t>(_mm256_movemask_epi8(v[1])));
  }
  // 10xxxxxx: as signed bytes, below -64.
  static std::uint32_t Continuations(Vector v) {
    return static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpgt_epi8(Byte(0xC0), v)));
  }
  static std::uint64_t Continuations(const Vector* v) {
    return Join(Continuations(v[0]), Continuations(v[1]));
  }
  template <int n>
  static Vector ShiftLeft(Vector v) {
    return AndByte(_mm256_slli_epi16(v, n), static_cast<std::uint8_t>(0xFF << n));
  }
  template <int n>
  static Vector ShiftRight(Vector v) {
    return AndByte(_mm256_srli_epi16(v, n), static_cast<std::uint8_t>(0xFF >> n));
  }
  static Vector Select(Vector mask, Vector a, Vector b) {
    return _mm256_blendv_epi8(b, a, mask);
  }
  // unpack pairs bytes within lanes: words 0-7 and 16-23, then 8-15 and 24-31.
  static void StoreWords(Vector low, Vector high, std::uint16_t* words) {
    const __m256i first = _mm256_unpacklo_epi8(low, high);
    const __m256i second = _mm256_unpackhi_epi8(low, high);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(words),
                        _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + 16),
                        _mm256_permute2x128_si256(first, second, 0x31));
  }
};

}  // namespace

TAVRIN_UTF8_KERNEL(Avx2, Avx2Utf8Ops)

}  // namespace Scan
}  // namespace Tavrin
