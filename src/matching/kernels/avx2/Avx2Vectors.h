// The AVX2 vector operations the kernel's scan (Avx2Kernel.cpp) and its
// UTF-8 conversion (Avx2Utf8.cpp) are written over: 32 bytes at a time, the
// byte shuffle working in each 16-byte lane. Included only by files compiled
// with -mavx2; internal linkage.
#ifndef TAVRIN_MATCHING_KERNELS_AVX2_AVX2VECTORS_H_
#define TAVRIN_MATCHING_KERNELS_AVX2_AVX2VECTORS_H_

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace Tavrin {
namespace Scan {
namespace {

struct Avx2Vectors {
  using Vector = __m256i;
  static constexpr std::size_t kLanes = 32;
  static Vector Load(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  static void Store(unsigned char* p, Vector v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  }
  // A 32-byte aligned table.
  static Vector LoadTable(const std::uint8_t* p) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
  }
  static Vector Zero() { return _mm256_setzero_si256(); }
  static Vector Byte(std::uint8_t b) { return _mm256_set1_epi8(static_cast<char>(b)); }
  static Vector And(Vector a, Vector b) { return _mm256_and_si256(a, b); }
  static Vector Or(Vector a, Vector b) { return _mm256_or_si256(a, b); }
  static Vector Xor(Vector a, Vector b) { return _mm256_xor_si256(a, b); }
  static Vector AndByte(Vector v, std::uint8_t b) { return And(v, Byte(b)); }
  // table[index & 15] in each 16-byte lane; 0 where index's top bit is set.
  static Vector Shuffle(Vector table, Vector index) {
    return _mm256_shuffle_epi8(table, index);
  }
  static Vector Low(Vector v) { return AndByte(v, 0x0F); }
  static Vector High(Vector v) { return AndByte(_mm256_srli_epi16(v, 4), 0x0F); }
  // v's bytes moved up 1, 2 or 3 places, the last of `before` shifted in.
  // alignr shifts within 16-byte lanes: the lane below each is brought
  // beside it first (the last of `before` below the first).
  static Vector Below(Vector v, Vector before) {
    return _mm256_permute2x128_si256(before, v, 0x21);
  }
  static Vector Before1(Vector v, Vector before) {
    return _mm256_alignr_epi8(v, Below(v, before), 15);
  }
  static Vector Before2(Vector v, Vector before) {
    return _mm256_alignr_epi8(v, Below(v, before), 14);
  }
  static Vector Before3(Vector v, Vector before) {
    return _mm256_alignr_epi8(v, Below(v, before), 13);
  }
  static bool IsZero(Vector v) { return _mm256_testz_si256(v, v) != 0; }
  // Every byte 0x80 or more: every byte's top bit set.
  static bool AllHigh(Vector v) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(v)) == 0xFFFFFFFFu;
  }
};

}  // namespace
}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_AVX2_AVX2VECTORS_H_
